#include "platform/path_match.h"
#include "platform/text.h"

namespace ydr::platform {

bool PathMatchSpecA(const char *name, const char *patterns) {
  return MatchSpecInCodePage(name, patterns, AnsiCodePageName());
}

}  // namespace ydr::platform
