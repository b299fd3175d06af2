// Windows paths as POSIX ones: '\\' becomes '/', and a drive letter is dropped.
#include "platform/native_path.h"

namespace ydr::platform {

std::string NativePath(std::string_view path) {
  if (HasDrive(path)) path.remove_prefix(2);
  std::string out(path);
  for (char &c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

bool IsAbsolutePath(std::string_view path) {
  if (HasDrive(path)) path.remove_prefix(2);
  return !path.empty() && IsSeparator(static_cast<unsigned char>(path[0]));
}

std::string NativePathFromWide(const WChar *path) { return NativePath(Utf8FromWide(path)); }

}  // namespace ydr::platform
