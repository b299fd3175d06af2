#include "base/find_files.h"

#include "platform/utf16.h"
#include "platform/wildcard.h"

namespace ydr::base {

using platform::WString;

bool MatchesSearchPattern(const WString &name, const WString &pattern) {
  if (pattern == WString{'*'} || pattern == WString{'*', '.', '*'}) return true;
  return platform::WildcardMatch(name.data(), name.data() + name.size(), pattern.data(),
                                 pattern.data() + pattern.size());
}

}  // namespace ydr::base
