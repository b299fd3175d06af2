#include <windows.h>

#include <cstdlib>

#include "platform/ansi_code_page.h"

namespace ydr::platform {

std::string AnsiCodePageName() {
  const char *configured = std::getenv("YDR_ANSI_CODEPAGE");
  if (configured != nullptr && configured[0] != '\0') return configured;
  const UINT code_page = GetACP();
  return code_page == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(code_page);
}

}  // namespace ydr::platform
