// Wildcard matching as file systems and the shell do it: '*' any run of characters, '?'
// one character, ASCII letters without regard to case. Iterative, with one backtracking
// point, so it takes at most time proportional to the product of the lengths.
#pragma once

namespace ydr::portable {

template <class Char>
Char FoldAsciiCase(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
bool WildcardMatch(const Char *name, const Char *name_end, const Char *pattern, const Char *pattern_end) {
  const Char *star = nullptr;
  const Char *resume = nullptr;
  while (name != name_end) {
    if (pattern != pattern_end && *pattern == Char('*')) {
      star = pattern++;
      resume = name;
    } else if (pattern != pattern_end && (*pattern == Char('?') || FoldAsciiCase(*pattern) == FoldAsciiCase(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (pattern != pattern_end && *pattern == Char('*')) ++pattern;
  return pattern == pattern_end;
}

}  // namespace ydr::portable
