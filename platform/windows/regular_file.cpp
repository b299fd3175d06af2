// Opening regular files only: a folder, or a device name such as CON or NUL (which opens
// anywhere on Windows), is refused.
#include "platform/regular_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/windows/win32_text.h"

namespace ydr::platform {

std::string OpenProblem::Describe() const {
  if (not_regular) return "not a regular file";
  return std::strerror(error);
}

namespace {

int SystemFlags(const OpenFor &how) {
  using Access = OpenFor::Access;
  const int access = how.access == Access::kRead ? _O_RDONLY : how.access == Access::kWrite ? _O_WRONLY : _O_RDWR;
  return access | (how.create ? _O_CREAT : 0) | (how.exclusive ? _O_EXCL : 0) | (how.append ? _O_APPEND : 0) |
         (how.truncate ? _O_TRUNC : 0);
}

}  // namespace

int OpenRegularFile(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const int flags = SystemFlags(how);
  const std::wstring wide = SystemWide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problem->not_regular = true;
    problem->error = EISDIR;
    return -1;
  }
  const int fd = _wopen(wide.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    problem->error = errno;
    return -1;
  }
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    _close(fd);
    problem->not_regular = true;
    problem->error = 0;
    return -1;
  }
  return fd;
}

std::FILE *OpenRegularStream(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const int fd = OpenRegularFile(path, how, problem);
  if (fd < 0) return nullptr;
  std::FILE *file = _fdopen(fd, StreamMode(how));
  if (file == nullptr) {
    problem->error = errno;
    _close(fd);
  }
  return file;
}

}  // namespace ydr::platform
