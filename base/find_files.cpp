#include "base/find_files.h"

#include "portable/utf16.h"
#include "portable/wildcard.h"

namespace ydr::base {

using portable::WString;

bool MatchesSearchPattern(const WString &name, const WString &pattern) {
  if (pattern == WString{'*'} || pattern == WString{'*', '.', '*'}) return true;
  return portable::WildcardMatch(name.data(), name.data() + name.size(), pattern.data(),
                                 pattern.data() + pattern.size());
}

}  // namespace ydr::base
