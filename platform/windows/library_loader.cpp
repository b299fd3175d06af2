#include <windows.h>

#include "platform/library_loader.h"
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

}  // namespace ydr::platform
