// A host program: loading it loads libYdrBM70.so (and, through it, the base library). It
// does a little work with the library and reports on standard output.
#include <cstdio>

#include "ydr/ydr.h"

int main() {
  _LoadYdrBM70DLL();
  unsigned short label[32];
  YdrMakeNumString(YDR_NUM_ROMAN_UPPER, 999, label, nullptr, 0);
  std::printf("host:");
  for (const unsigned short *p = label; *p != 0; ++p) std::printf("%c", static_cast<char>(*p));
  std::printf("\n");
  std::fflush(stdout);
  return 0;
}
