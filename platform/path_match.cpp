#include "platform/path_match.h"

#include <cstring>

#include "platform/wildcard.h"

namespace ydr::platform {
namespace {

bool MatchOne(const char *name, const char *pattern, const char *pattern_end) {
  if (pattern_end - pattern == 3 && std::strncmp(pattern, "*.*", 3) == 0) return true;
  return WildcardMatch(name, name + std::strlen(name), pattern, pattern_end);
}

}  // namespace

bool PathMatchSpecA(const char *name, const char *patterns) {
  if (name == nullptr || patterns == nullptr) return false;
  const char *p = patterns;
  for (;;) {
    while (*p == ' ') ++p;
    const char *end = std::strchr(p, ';');
    if (end == nullptr) end = p + std::strlen(p);
    if (end != p && MatchOne(name, p, end)) return true;
    if (*end == '\0') return false;
    p = end + 1;
  }
}

}  // namespace ydr::platform
