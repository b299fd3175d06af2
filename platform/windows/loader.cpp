// Modules: their names, loading them and finding their functions, and the executable's path, on Windows.
#include "platform/loader.h"

#include <windows.h>

#include "platform/windows/win32_text.h"

namespace ydr::platform {

HMODULE LoadLibraryA(const char *name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  // The system's search: the executable's folder, the system folders, the PATH.
  return ::LoadLibraryW(SystemWide(name).c_str());
}

void FreeLibrary(HMODULE module) {
  if (module != nullptr) ::FreeLibrary(static_cast<::HMODULE>(module));
}

void *GetProcAddress(HMODULE module, const char *name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void *>(::GetProcAddress(static_cast<::HMODULE>(module), name));
}

bool PathFileExistsA(const char *path) {
  if (path == nullptr || path[0] == '\0') return false;
  return GetFileAttributesW(SystemWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ExecutableFileName() {
  wchar_t buffer[kMaxPath];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, kMaxPath);
  if (length == 0 || length >= kMaxPath) return std::string();  // a longer path is cut: none
  const std::string path = Utf8FromSystemWide(buffer);
  return path.size() < kMaxPath ? path : std::string();
}

}  // namespace ydr::platform
