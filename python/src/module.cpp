// The extension module behind the ydr package: the library's streams, archives, digests and
// ciphers, with the Python-facing classes in the package's own modules (ydr/*.py).
#include <pybind11/pybind11.h>

#include "python/src/binding.h"

namespace ydr::python {

ByteView::ByteView(const py::handle &object, bool writable) {
  if (PyObject_GetBuffer(object.ptr(), &view_, writable ? PyBUF_WRITABLE : PyBUF_SIMPLE) != 0) {
    throw py::error_already_set();
  }
}

void Raise(ErrorKind kind, const std::string &message) {
  static const char *const kNames[] = {"Error", "DataError", "TruncatedError", "ArchiveError", "CipherError"};
  const py::object type = py::module_::import("ydr._errors").attr(kNames[static_cast<int>(kind)]);
  PyErr_SetString(type.ptr(), message.c_str());
  throw py::error_already_set();
}

}  // namespace ydr::python

PYBIND11_MODULE(_ydr, m) {
  m.doc() = "The library's cores for the ydr package (use the package's modules, not this one).";
  ydr::python::BindGz(m);
  ydr::python::BindCrypto(m);
  ydr::python::BindArchive(m);
}
