// What the extension's parts share: bytes borrowed from Python objects through the buffer
// protocol, and the package's exceptions raised from C++.
//
// Every call that takes time releases the GIL; a buffer borrowed before that stays exported
// (a bytearray cannot be resized under it) until the call returns.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace ydr::python {

namespace py = pybind11;

// A read-only (or, with `writable`, writable) view of an object's bytes: bytes, bytearray,
// memoryview, array.array, a contiguous numpy array. No copy is made; a non-contiguous
// object is refused (its exporter raises: BufferError, or ValueError from numpy).
class ByteView {
 public:
  explicit ByteView(const py::handle &object, bool writable = false);
  ~ByteView() { PyBuffer_Release(&view_); }
  ByteView(const ByteView &) = delete;
  ByteView &operator=(const ByteView &) = delete;

  std::uint8_t *data() const { return static_cast<std::uint8_t *>(view_.buf); }
  std::size_t size() const { return static_cast<std::size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

// The package's exceptions (ydr/_errors.py), by their names there.
enum class ErrorKind {
  kError,         // ydr.Error
  kDataError,     // a stream or archive member is damaged (ydr.DataError)
  kTruncated,     // the data ends before the stream does (ydr.TruncatedError)
  kArchiveError,  // the file is not an archive or its records cannot be trusted (ydr.ArchiveError)
  kCipherError,   // a cipher, key or padding problem (ydr.CipherError)
};

// Raises `kind` with `message`; the GIL must be held.
[[noreturn]] void Raise(ErrorKind kind, const std::string &message);

void BindGz(py::module_ &m);
void BindCrypto(py::module_ &m);
void BindArchive(py::module_ &m);

}  // namespace ydr::python
