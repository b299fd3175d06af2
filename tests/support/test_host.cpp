// A host linked against libYdrBM70.so: prints whether the base library got loaded, wherever it was found.
#if defined(_WIN32)
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>

#include "ydr/ydr.h"

int main() {
  _LoadYdrBM70DLL();
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in '\n' alone, as everywhere
  const bool base_loaded = GetModuleHandleW(L"YdrBL70.dll") != nullptr;
#else
  void *base = dlopen("libYdrBL70.so.0", RTLD_NOLOAD | RTLD_LAZY);  // matched by its soname, never loaded here
  const bool base_loaded = base != nullptr;
  if (base_loaded) dlclose(base);
#endif
  std::printf("base:%s\n", base_loaded ? "loaded" : "missing");
  std::fflush(stdout);
  return 0;
}
