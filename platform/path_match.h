// PathMatchSpecA: whether a name matches a file-name pattern, with the shell's rules:
// '*' any run of characters (separators included), '?' one character, ASCII letters
// without regard to case; several patterns separated by ';' (blanks before each ignored),
// any one of which may match; "*.*" matches every name.
#pragma once

namespace ydr::platform {

bool PathMatchSpecA(const char *name, const char *patterns);

}  // namespace ydr::platform
