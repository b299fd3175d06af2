// The shell's own matching, in the system's ANSI code page.
#include <shlwapi.h>
#include <windows.h>

#include "platform/path_match.h"

namespace ydr::platform {

bool PathMatchSpecA(const char *name, const char *patterns) {
  if (name == nullptr || patterns == nullptr) return false;
  return ::PathMatchSpecA(name, patterns) != FALSE;
}

}  // namespace ydr::platform
