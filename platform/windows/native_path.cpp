// Windows paths are the system's own: kept as they are, drive and separators included.
#include "platform/native_path.h"

namespace ydr::platform {

std::string NativePath(std::string_view path) { return std::string(path); }

std::string NativePathFromWide(const WChar *path) { return Utf8FromWide(path); }

}  // namespace ydr::platform
