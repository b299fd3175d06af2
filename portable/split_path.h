// The runtime library's path splitting and joining (_splitpath, _wsplitpath, _makepath),
// with its rules: '\' and '/' both separate, a leading "X:" is the drive, the extension
// starts at the last '.' of the final component, and joining inserts '\' after a directory
// that does not already end in a separator. Unlike the runtime's, these never overrun.
#pragma once

#include <string>
#include <string_view>

#include "portable/utf16.h"

namespace ydr::portable {

template <class Char>
struct PathParts {
  std::basic_string<Char> drive;  // "C:" or empty
  std::basic_string<Char> dir;    // up to and including the last separator
  std::basic_string<Char> fname;
  std::basic_string<Char> ext;  // from the last '.', dot included
};

PathParts<char> SplitPath(std::string_view path);                // _splitpath
PathParts<WChar> SplitPath(std::basic_string_view<WChar> path);  // _wsplitpath

std::string MakePath(std::string_view drive, std::string_view dir, std::string_view fname,
                     std::string_view ext);  // _makepath

}  // namespace ydr::portable
