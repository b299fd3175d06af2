// Opening a file by its UTF-16 path, as the runtime's wide fopen does. Only regular files
// open: the platform this library comes from has no pipes, sockets or devices among its
// files, and a folder never opens as a file there. The open itself never waits (a pipe
// without a writer would hold it for good); the type is checked on the open descriptor,
// and a file opened for writing is truncated only once it is known to be a regular one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/guarded_call.h"
#include "base/ydr_base.h"
#include "platform/native_path.h"

namespace {

struct OpenMode {
  int flags = 0;
  bool truncate = false;
  std::string stdio;  // the mode for fdopen
};

// The runtime's mode letters: r, w, a, an optional +, and b/t (no difference here); x makes
// a "w" open fail when the file exists.
bool ParseMode(const unsigned short *mode, OpenMode *out) {
  int access = -1;
  bool plus = false, exclusive = false;
  for (const unsigned short *m = mode; *m != 0; ++m) {
    switch (*m) {
      case 'r':
      case 'w':
      case 'a':
        if (access != -1) return false;
        access = *m;
        break;
      case '+': plus = true; break;
      case 'x': exclusive = true; break;
      case 'b':
      case 't': break;
      default: return false;
    }
  }
  if (access == -1) return false;
  const int rw = plus ? O_RDWR : access == 'r' ? O_RDONLY : O_WRONLY;
  out->flags = rw | (access == 'r' ? 0 : O_CREAT) | (access == 'a' ? O_APPEND : 0) | (exclusive ? O_EXCL : 0);
  out->truncate = access == 'w';
  out->stdio = std::string(1, static_cast<char>(access)) + (plus ? "+" : "") + "b";
  return true;
}

FILE *OpenRegularFile(const std::string &path, const OpenMode &mode) {
  const int fd = open(path.c_str(), mode.flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  const bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (!mode.truncate || ftruncate(fd, 0) == 0) &&
                  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  FILE *file = ok ? fdopen(fd, mode.stdio.c_str()) : nullptr;
  if (file == nullptr) close(fd);
  return file;
}

}  // namespace

YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  return ydr::platform::GuardedCall(static_cast<FILE *>(nullptr), [&]() -> FILE * {
    if (path == nullptr || path[0] == 0 || mode == nullptr || mode[0] == 0) return nullptr;
    OpenMode parsed;
    if (!ParseMode(mode, &parsed)) return nullptr;
    return OpenRegularFile(ydr::platform::NativePathFromWide(path), parsed);
  });
}
