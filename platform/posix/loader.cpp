// Modules: their names, loading them and finding their functions, and the executable's path, on POSIX.
#include "platform/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"

namespace ydr::platform {

namespace {

char g_anchor;  // any object of ours tells dladdr which file this code was loaded from

std::string OwnFolder() {
  Dl_info info;
  if (dladdr(&g_anchor, &info) == 0 || info.dli_fname == nullptr) return std::string();
  // A program is named as it was started (argv[0]), perhaps relative to a folder that is no
  // longer the current one: only an absolute name says where the code is.
  const std::string file = info.dli_fname;
  if (file.empty() || file[0] != '/') return std::string();
  return file.substr(0, file.rfind('/'));
}

}  // namespace

HMODULE LoadLibraryA(const char *name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  const std::string path = NativePath(name);
  // RTLD_LOCAL: a sibling's symbols must not resolve anyone else's references.
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;
  HMODULE module = dlopen(path.c_str(), kFlags);
  if (module != nullptr || path.find('/') != std::string::npos) return module;
  // The system's search for a bare name includes the folder of the library asking (the
  // run path $ORIGIN it is linked with). Looked at here too, because a dlopen made through
  // a sanitizer's interceptor is searched as if the sanitizer's runtime had asked.
  const std::string own_folder = OwnFolder();
  if (own_folder.empty()) return nullptr;
  return dlopen((own_folder + "/" + path).c_str(), kFlags);
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

std::string ExecutableFileName() {
  char buffer[kMaxPath];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace ydr::platform
