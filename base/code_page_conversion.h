// Converting text to and from a code page other than UTF-8 (base/text_conversion.cpp does
// UTF-8 itself): iconv on POSIX, the system's conversions on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ydr::base {

inline constexpr char32_t kUnmappable = '?';

// Converted text and the offset after each of its characters, so that text too long for
// its destination is cut between characters, never inside one.
template <class Unit>
struct Converted {
  std::basic_string<Unit> text;
  std::vector<std::size_t> ends;
  void EndCharacter() { ends.push_back(text.size()); }
};

// Each code point in the code page, as one character of `out`; one the code page lacks
// becomes kUnmappable. False when the system does not know the code page.
bool EncodeInCodePage(const std::vector<char32_t> &code_points, const std::string &code_page, Converted<char> *out);
// The code points of `length` bytes in the code page; each byte that does not begin a
// character becomes kUnmappable. False when the system does not know the code page.
bool DecodeFromCodePage(const char *src, std::size_t length, const std::string &code_page, std::vector<char32_t> *out);

}  // namespace ydr::base
