// PathMatchSpecA: whether a name matches a file-name pattern, with the shell's rules:
// '*' any run of characters (separators included), '?' one character of the ANSI code page
// (a double-byte or UTF-8 character included), ASCII letters without regard to case (a
// trail byte is never folded); several patterns separated by ';' (blanks before each ignored),
// any one of which may match; "*.*" matches every name.
#pragma once

#include <string>

namespace ydr::platform {

// Names and patterns in the ANSI code page. On Windows this is the shell's PathMatchSpecA.
bool PathMatchSpecA(const char *name, const char *patterns);

// The same for text in the code page named `code_page` (an iconv name such as "UTF-8").
bool MatchSpecInCodePage(const char *name, const char *patterns, const std::string &code_page);

}  // namespace ydr::platform
