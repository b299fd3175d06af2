// UTF-16 text as the library's interfaces carry it (unsigned 16-bit units), and the
// conversions to and from UTF-8 that happen wherever that text meets the file system or a
// terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ydr::portable {

using WChar = unsigned short;
using WString = std::basic_string<WChar>;

// Length in units of a zero-terminated wide string; 0 for null.
std::size_t WideLength(const WChar *text);

// Decodes one code point starting at text[*pos] (pos < length) and advances *pos. A lone
// surrogate decodes to U+FFFD and advances by one unit.
char32_t DecodeUtf16(const WChar *text, std::size_t length, std::size_t *pos);

// Decodes one code point of UTF-8 starting at text[*pos] (pos < size) into *out and
// advances *pos. A malformed, truncated, overlong, surrogate or out-of-range sequence gives
// false, *out = U+FFFD, and advances by one byte only, so nothing after it is lost.
bool DecodeUtf8(std::string_view text, std::size_t *pos, char32_t *out);

// Appends the UTF-8 / UTF-16 encoding of a code point (which must be a scalar value).
void AppendUtf8(char32_t code_point, std::string *out);
void AppendUtf16(char32_t code_point, WString *out);

std::string Utf8FromWide(const WChar *text, std::size_t length);
inline std::string Utf8FromWide(const WChar *text) { return Utf8FromWide(text, WideLength(text)); }
inline std::string Utf8FromWide(const WString &text) { return Utf8FromWide(text.data(), text.size()); }
WString WideFromUtf8(std::string_view text);

}  // namespace ydr::portable
