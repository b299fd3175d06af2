// ydr.gz's native half: one-call compression and decompression, CRC-32, and the reader and
// writer objects behind ydr.gz.open.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "python/src/binding.h"
#include "python/src/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::python {
namespace {

py::bytes Compress(const py::object &data, int level) {
  const ByteView view(data);
  GzWriter writer(level);
  bool ok;
  {
    py::gil_scoped_release nogil;
    // Deflate seldom grows data by more than a few bytes per block: one allocation for most inputs.
    writer.output().reserve(view.size() / 2 + 64);
    ok = writer.Compress(view.data(), view.size()) && writer.Finish();
  }
  if (!ok) throw std::bad_alloc();
  return py::bytes(writer.output());
}

// The size to make room for: the last stream's length from its trailer, trusted only as far
// as deflate can expand (about 1032 to 1).
std::size_t SizeHint(const ByteView &view) {
  if (view.size() < 8) return 0;
  const std::uint8_t *t = view.data() + view.size() - 4;
  const std::size_t stated =
      std::size_t{t[0]} | std::size_t{t[1]} << 8 | std::size_t{t[2]} << 16 | std::size_t{t[3]} << 24;
  return std::min(stated, view.size() * 1032 + 64) + 1;
}

// The bytes object is made first, at the size the trailer states, and filled without the
// GIL: its pages are first touched there, by the decoder, so two threads decompressing at
// once do not queue for the GIL to copy their results. Only data whose trailer misstates
// the size (concatenated streams, say) go through a second buffer.
py::bytes Decompress(const py::object &data) {
  auto view = std::make_unique<ByteView>(data);
  const ByteView &bytes = *view;
  GzReader reader(MemorySource(bytes.data(), bytes.size()), true, YDR_GZ_MEM_LARGE, std::move(view));
  const std::size_t hint = SizeHint(bytes);
  PyObject *out = PyBytes_FromStringAndSize(nullptr, static_cast<py::ssize_t>(hint));
  if (out == nullptr) throw py::error_already_set();
  auto result = py::reinterpret_steal<py::object>(out);
  std::string more;
  long long got;
  bool ok;
  {
    py::gil_scoped_release nogil;
    got = reader.Fill(reinterpret_cast<std::uint8_t *>(PyBytes_AS_STRING(out)), hint);
    ok = got >= 0 && !reader.failed();
    if (ok && static_cast<std::size_t>(got) == hint) ok = reader.ReadAll(&more, hint);
  }
  if (!ok) reader.RaiseFailure();
  if (!more.empty()) {
    more.insert(0, PyBytes_AS_STRING(out), hint);
    return py::bytes(more);
  }
  PyObject *shrunk = result.release().ptr();
  if (_PyBytes_Resize(&shrunk, static_cast<py::ssize_t>(got)) != 0) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(shrunk);
}

unsigned int Crc32(const py::object &data, unsigned int value) {
  const ByteView view(data);
  unsigned int reg = ~value;
  const auto update = [&] {
    const std::uint8_t *p = view.data();
    for (std::size_t left = view.size(); left > 0;) {
      const auto n = static_cast<unsigned int>(std::min<std::size_t>(left, 1u << 30));
      value = YdrGZUpdateCRC(&reg, p, n);
      p += n;
      left -= n;
    }
  };
  // Short inputs keep the GIL: its round trip would cost more than the CRC.
  if (view.size() < (1 << 16)) {
    update();
  } else {
    py::gil_scoped_release nogil;
    update();
  }
  return value;
}

}  // namespace

void BindGz(py::module_ &m) {
  m.def("gz_compress", &Compress, py::arg("data"), py::arg("level") = 0);
  m.def("gz_decompress", &Decompress, py::arg("data"));
  m.def("gz_crc32", &Crc32, py::arg("data"), py::arg("value") = 0u);

  py::class_<GzReader>(m, "GzReader")
      .def_static(
          "from_bytes",
          [](const py::object &data, bool every_stream) {
            auto view = std::make_unique<ByteView>(data);
            auto source = MemorySource(view->data(), view->size());
            return std::make_unique<GzReader>(std::move(source), every_stream, YDR_GZ_MEM_LARGE, std::move(view));
          },
          py::arg("data"), py::arg("every_stream") = true)
      .def_static(
          "from_fd",
          [](int fd, bool every_stream) {
            return std::make_unique<GzReader>(DescriptorSource(fd), every_stream, YDR_GZ_MEM_LARGE);
          },
          py::arg("fd"), py::arg("every_stream") = true)
      .def_static(
          "from_file",
          [](py::object file, bool every_stream) {
            return std::make_unique<GzReader>(PyFileSource(std::move(file)), every_stream, YDR_GZ_MEM_LARGE);
          },
          py::arg("file"), py::arg("every_stream") = true)
      .def("readinto", &GzReader::ReadInto, py::arg("buffer"))
      .def("read", &GzReader::Read, py::arg("size") = -1)
      .def("close", &GzReader::Close)
      .def_property_readonly("eof", &GzReader::eof)
      .def_property_readonly("streams", &GzReader::streams)
      .def_property_readonly("delivered", &GzReader::delivered);

  py::class_<GzWriter>(m, "GzWriter")
      .def(py::init<int>(), py::arg("level") = 0)
      .def("write", &GzWriter::Write, py::arg("data"))
      .def("take", &GzWriter::Take)
      .def("close", &GzWriter::Close)
      .def_property_readonly("taken_in", &GzWriter::taken_in);
}

}  // namespace ydr::python
