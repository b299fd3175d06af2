// Windows paths are the system's own: kept as they are, drive and separators included.
#include "platform/native_path.h"

namespace ydr::platform {

std::string NativePath(std::string_view path) { return std::string(path); }

bool IsAbsolutePath(std::string_view path) {
  if (HasDrive(path)) return path.size() >= 3 && IsSeparator(static_cast<unsigned char>(path[2]));
  return path.size() >= 2 && IsSeparator(static_cast<unsigned char>(path[0])) &&
         IsSeparator(static_cast<unsigned char>(path[1]));
}

std::string NativePathFromWide(const WChar *path) { return Utf8FromWide(path); }

}  // namespace ydr::platform
