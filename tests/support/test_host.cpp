// A host linked against libYdrBM70.so: prints a label the library makes and whether the base library got loaded.
#if defined(_WIN32)
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#else
#include <link.h>
#endif

#include <cstdio>
#include <cstring>

#include "ydr/ydr.h"

int main() {
  _LoadYdrBM70DLL();
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in '\n' alone, as everywhere
#endif
  unsigned short label[32];
  YdrMakeNumString(YDR_NUM_ROMAN_UPPER, 999, label, nullptr, 0);
  std::printf("host:");
  for (const unsigned short *p = label; *p != 0; ++p) std::printf("%c", static_cast<char>(*p));
#if defined(_WIN32)
  const bool base_loaded = GetModuleHandleW(L"YdrBL70.dll") != nullptr;
#else
  // Loaded by whatever path the search took: any loaded object whose file is the base library.
  bool base_loaded = false;
  dl_iterate_phdr(
      [](dl_phdr_info *info, std::size_t, void *found) {
        const char *slash = std::strrchr(info->dlpi_name, '/');
        if (std::strcmp(slash != nullptr ? slash + 1 : info->dlpi_name, "libYdrBL70.so") == 0) {
          *static_cast<bool *>(found) = true;
        }
        return 0;
      },
      &base_loaded);
#endif
  std::printf(" base:%s\n", base_loaded ? "loaded" : "missing");
  std::fflush(stdout);
  return 0;
}
