#include "platform/library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/native_path.h"

namespace ydr::platform {

HMODULE LoadLibraryA(const char *name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  const std::string path = NativePath(name);
  // RTLD_LOCAL: a sibling's symbols must not resolve anyone else's references.
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void FreeLibrary(HMODULE module) {
  if (module != nullptr) dlclose(module);
}

void *GetProcAddress(HMODULE module, const char *name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return dlsym(module, name);
}

bool PathFileExistsA(const char *path) {
  if (path == nullptr || path[0] == '\0') return false;
  return access(NativePath(path).c_str(), F_OK) == 0;
}

}  // namespace ydr::platform
