// Absolute paths on Windows: the system's own (GetFullPathNameW), which knows every form a
// Windows path takes: drive letters, drive-relative paths, network paths (\\server\share\),
// and the current folder of each drive.
#include <windows.h>

#include <string>

#include "base/path_absolute.h"

namespace ydr::base {

std::optional<portable::WString> SystemAbsolutePath(const portable::WChar *path, std::size_t length) {
  const std::wstring wide(path, path + length);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring buffer(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
  if (written == 0 || written >= needed) return std::nullopt;
  return portable::WString(buffer.begin(), buffer.begin() + written);
}

}  // namespace ydr::base
