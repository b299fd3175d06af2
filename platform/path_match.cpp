#include "platform/path_match.h"

#include <cstring>

namespace ydr::platform {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// One pattern, [pattern, pattern_end), against the whole name; iterative, with one
// backtracking point, so it never takes more than time proportional to their product.
bool MatchOne(const char *name, const char *pattern, const char *pattern_end) {
  if (pattern_end - pattern == 3 && std::strncmp(pattern, "*.*", 3) == 0) return true;
  const char *star = nullptr;
  const char *resume = nullptr;
  while (*name != '\0') {
    if (pattern != pattern_end && *pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (pattern != pattern_end && (*pattern == '?' || Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (pattern != pattern_end && *pattern == '*') ++pattern;
  return pattern == pattern_end;
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
