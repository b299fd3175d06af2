#include "platform/windows/code_page_number.h"

#include <windows.h>

#include "platform/registry_file.h"

namespace ydr::platform {

unsigned int CodePageNumber(const std::string &name) {
  if (EqualsIgnoringAsciiCase(name, "UTF-8") || EqualsIgnoringAsciiCase(name, "UTF8")) return CP_UTF8;
  std::size_t at = 0;
  if (name.size() > 2 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'P' || name[1] == 'p')) at = 2;
  if (at == name.size()) return 0;
  unsigned long number = 0;
  for (; at < name.size(); ++at) {
    if (name[at] < '0' || name[at] > '9' || number > 65535) return 0;
    number = number * 10 + static_cast<unsigned long>(name[at] - '0');
  }
  return number != 0 && number <= 65535 && IsValidCodePage(static_cast<UINT>(number))
             ? static_cast<unsigned int>(number)
             : 0;
}

}  // namespace ydr::platform
