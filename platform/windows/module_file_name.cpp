#include <windows.h>

#include "platform/module_file_name.h"
#include "platform/windows/win32_text.h"

namespace ydr::platform {

std::string ExecutableFileName() {
  wchar_t buffer[kMaxPath];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, kMaxPath);
  if (length == 0 || length >= kMaxPath) return std::string();  // a longer path is cut: none
  const std::string path = Utf8FromSystemWide(buffer);
  return path.size() < kMaxPath ? path : std::string();
}

}  // namespace ydr::platform
