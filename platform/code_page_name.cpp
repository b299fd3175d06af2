#include <string>

#include "platform/ansi_code_page.h"

namespace ydr::platform {

std::string CodePageName(unsigned int code_page) {
  switch (code_page) {
    case 0:
    case 1: return AnsiCodePageName();
    case 65001: return "UTF-8";
    default: return "CP" + std::to_string(code_page);
  }
}

}  // namespace ydr::platform
