#include <windows.h>

#include "base/path_absolute.h"

namespace ydr::base {

std::optional<platform::WString> CurrentDirectory() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring buffer(needed, L'\0');
  const DWORD length = GetCurrentDirectoryW(needed, buffer.data());
  if (length == 0 || length >= needed) return std::nullopt;
  return platform::WString(reinterpret_cast<const platform::WChar *>(buffer.data()), length);
}

}  // namespace ydr::base
