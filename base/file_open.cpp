#include <cstdio>
#include <string>

#include "base/guarded_call.h"
#include "base/ydr_base.h"
#include "platform/native_path.h"

YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  return ydr::base::GuardedCall(static_cast<FILE *>(nullptr), [&]() -> FILE * {
    if (path == nullptr || path[0] == 0 || mode == nullptr || mode[0] == 0) return nullptr;
    std::string narrow_mode;
    for (const unsigned short *m = mode; *m != 0; ++m) {
      if (*m >= 0x80) return nullptr;  // modes are ASCII ("rb", "wb", ...)
      narrow_mode.push_back(static_cast<char>(*m));
    }
    return std::fopen(ydr::platform::NativePathFromWide(path).c_str(), narrow_mode.c_str());
  });
}
