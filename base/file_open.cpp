// Opening a file by its UTF-16 path, as the runtime's wide fopen does. Only regular files
// open (platform/regular_file.h): the library's callers read and write documents and
// archives, and a pipe, socket or device opened as one could block them or never end; a
// folder never opens as a file on Windows, and does not here either.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/ydr_base.h"
#include "platform/guarded_call.h"
#include "platform/native_path.h"
#include "platform/regular_file.h"

namespace {

struct OpenMode {
  int flags = 0;
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
  out->flags = rw | (access == 'r' ? 0 : O_CREAT) | (access == 'a' ? O_APPEND : 0) | (access == 'w' ? O_TRUNC : 0) |
               (exclusive ? O_EXCL : 0);
  out->stdio = std::string(1, static_cast<char>(access)) + (plus ? "+" : "") + "b";
  return true;
}

}  // namespace

YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  return ydr::platform::GuardedCall(static_cast<FILE *>(nullptr), [&]() -> FILE * {
    if (path == nullptr || path[0] == 0 || mode == nullptr || mode[0] == 0) return nullptr;
    OpenMode parsed;
    if (!ParseMode(mode, &parsed)) return nullptr;
    ydr::platform::OpenProblem problem;
    const int fd =
        ydr::platform::OpenRegularFile(ydr::platform::NativePathFromWide(path), parsed.flags, 0666, &problem);
    if (fd < 0) return nullptr;
    FILE *file = fdopen(fd, parsed.stdio.c_str());
    if (file == nullptr) close(fd);
    return file;
  });
}
