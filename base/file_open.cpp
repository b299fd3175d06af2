// Opening a file by its UTF-16 path, as the runtime's wide fopen does. Only regular files
// open (platform/regular_file.h): the library's callers read and write documents and
// archives, and a pipe, socket or device opened as one could block them or never end; a
// folder never opens as a file on Windows, and does not here either.
#include <cstdio>

#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/guarded_call.h"

namespace {

// The runtime's mode letters: r, w, a, an optional +, and b/t (no difference here); x makes
// a "w" open fail when the file exists.
bool ParseMode(const unsigned short *mode, ydr::platform::OpenFor *how) {
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
  using Access = ydr::platform::OpenFor::Access;
  how->access = plus ? Access::kReadWrite : access == 'r' ? Access::kRead : Access::kWrite;
  how->create = access != 'r';
  how->append = access == 'a';
  how->truncate = access == 'w';
  how->exclusive = exclusive;
  return true;
}

}  // namespace

YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  return ydr::portable::GuardedCall(static_cast<FILE *>(nullptr), [&]() -> FILE * {
    if (path == nullptr || path[0] == 0 || mode == nullptr || mode[0] == 0) return nullptr;
    ydr::platform::OpenFor how;
    if (!ParseMode(mode, &how)) return nullptr;
    ydr::platform::OpenProblem problem;
    return ydr::platform::OpenRegularStream(ydr::platform::NativePathFromWide(path), how, &problem);
  });
}
