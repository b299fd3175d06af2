// 8-bit text as characters of a code page. A double-byte code page (CP949 and its kin) or
// UTF-8 stores one character in several bytes, and a trail byte may look like an ASCII
// letter or a separator; matching byte by byte would let '?' take half a character and
// case folding change a trail byte. Splitting first avoids both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ydr::platform {

// One character: a single byte is its own value (0-255); a character of n > 1 bytes is
// n << 32 | its bytes, first byte lowest, so it never equals a single byte.
using AnsiCharacter = std::uint64_t;

// Splits `text` into the characters of the code page named `code_page` (an iconv name). A
// byte that starts no valid character stands alone.
std::vector<AnsiCharacter> SplitAnsiCharacters(std::string_view text, const std::string &code_page);

}  // namespace ydr::platform
