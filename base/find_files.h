// Pieces of the directory search that tests reach directly.
#pragma once

#include "portable/utf16.h"

namespace ydr::base {

// Whether a file name matches a search pattern with the file system's wildcard rules: '*'
// any run of characters, '?' one character, ASCII letters without regard to case; "*" and
// "*.*" match every name.
bool MatchesSearchPattern(const portable::WString &name, const portable::WString &pattern);

}  // namespace ydr::base
