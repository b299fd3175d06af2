#include "platform/windows/win32_text.h"

#include <windows.h>

#include <cerrno>

#include "portable/utf16.h"

namespace ydr::platform {

static_assert(sizeof(wchar_t) == sizeof(portable::WChar), "UTF-16 units are the system's wide characters");

std::wstring SystemWide(const std::string &utf8) {
  const portable::WString wide = portable::WideFromUtf8(utf8);
  return std::wstring(reinterpret_cast<const wchar_t *>(wide.data()), wide.size());
}

std::string Utf8FromSystemWide(const wchar_t *text) {
  return portable::Utf8FromWide(reinterpret_cast<const portable::WChar *>(text));
}

int ErrnoFromSystemError(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
  }
}

int LastErrorAsErrno() {
  errno = ErrnoFromSystemError(GetLastError());
  return errno;
}

}  // namespace ydr::platform
