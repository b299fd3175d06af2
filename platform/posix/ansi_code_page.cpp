#include "platform/ansi_code_page.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>

namespace ydr::platform {

std::string AnsiCodePageName() {
  const char *configured = std::getenv("YDR_ANSI_CODEPAGE");
  if (configured != nullptr && configured[0] != '\0') return configured;

  std::string name = "UTF-8";
  locale_t user_locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user_locale != static_cast<locale_t>(nullptr)) {
    const char *codeset = nl_langinfo_l(CODESET, user_locale);
    if (codeset != nullptr && codeset[0] != '\0' && std::strcmp(codeset, "ANSI_X3.4-1968") != 0) {
      name = codeset;
    }
    freelocale(user_locale);
  }
  return name;
}

}  // namespace ydr::platform
