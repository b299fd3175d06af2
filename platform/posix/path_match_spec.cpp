#include "platform/ansi_code_page.h"
#include "platform/path_match.h"

namespace ydr::platform {

bool PathMatchSpecA(const char *name, const char *patterns) {
  return MatchSpecInCodePage(name, patterns, AnsiCodePageName());
}

}  // namespace ydr::platform
