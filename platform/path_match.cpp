#include "platform/path_match.h"

#include <cstring>
#include <vector>

#include "platform/text.h"
#include "portable/wildcard.h"

namespace ydr::platform {
namespace {

bool MatchOne(const std::vector<AnsiCharacter> &name, const AnsiCharacter *pattern, const AnsiCharacter *pattern_end) {
  if (pattern_end - pattern == 3 && pattern[0] == '*' && pattern[1] == '.' && pattern[2] == '*') return true;
  return portable::WildcardMatch(name.data(), name.data() + name.size(), pattern, pattern_end);
}

}  // namespace

bool MatchSpecInCodePage(const char *name, const char *patterns, const std::string &code_page) {
  if (name == nullptr || patterns == nullptr) return false;
  const std::vector<AnsiCharacter> name_characters = SplitAnsiCharacters(name, code_page);
  const std::vector<AnsiCharacter> pattern_characters = SplitAnsiCharacters(patterns, code_page);
  const AnsiCharacter *p = pattern_characters.data();
  const AnsiCharacter *const end = p + pattern_characters.size();
  for (;;) {
    while (p != end && *p == ' ') ++p;
    const AnsiCharacter *stop = p;
    while (stop != end && *stop != ';') ++stop;
    if (stop != p && MatchOne(name_characters, p, stop)) return true;
    if (stop == end) return false;
    p = stop + 1;
  }
}

}  // namespace ydr::platform
