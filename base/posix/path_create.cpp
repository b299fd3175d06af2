// Making the folders a path leads through. A path that ends in a separator names a folder,
// which is made too; otherwise the last component is a file and is left alone.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/guarded_call.h"

namespace {

bool EnsureFolder(const std::string &path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

YDR_BL_API int YdrPathCreate(const unsigned short *absolutePath) {
  return ydr::portable::GuardedCall(0, [&] {
    if (absolutePath == nullptr || absolutePath[0] == 0) return 0;
    const std::string path = ydr::platform::NativePathFromWide(absolutePath);
    // Each prefix that ends just before a separator is a folder on the way.
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (path[i] != '/' || path[i - 1] == '/') continue;
      if (!EnsureFolder(path.substr(0, i))) return 0;
    }
    return 1;
  });
}
