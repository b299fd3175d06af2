#include "platform/ansi_characters.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace ydr::platform {
namespace {

constexpr std::size_t kMaxCharacterBytes = 4;

AnsiCharacter Pack(std::string_view bytes) {
  if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]);
  AnsiCharacter value = static_cast<AnsiCharacter>(bytes.size()) << 32;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    value |= static_cast<AnsiCharacter>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return value;
}

bool IsUtf8(const std::string &name) {
  std::string folded;
  for (char c : name) {
    if (c != '-' && c != '_') folded.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  return folded == "UTF8";
}

// The length of the UTF-8 sequence at the front of `text`, or 1 when it is not valid.
std::size_t Utf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 1;
  if (length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// The length of the character at the front of `text`: the fewest bytes that iconv turns
// into exactly one complete character.
std::size_t CodePageLength(iconv_t converter, std::string_view text) {
  for (std::size_t n = 1; n <= kMaxCharacterBytes && n <= text.size(); ++n) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char in[kMaxCharacterBytes];
    std::memcpy(in, text.data(), n);
    char out[16];
    char *in_p = in, *out_p = out;
    std::size_t in_left = n, out_left = sizeof out;
    const std::size_t result = iconv(converter, &in_p, &in_left, &out_p, &out_left);
    if (result != static_cast<std::size_t>(-1) && in_left == 0) return n;
    if (errno != EINVAL) return 1;  // not a character at all: the byte stands alone
  }
  return 1;
}

}  // namespace

std::vector<AnsiCharacter> SplitAnsiCharacters(std::string_view text, const std::string &code_page) {
  std::vector<AnsiCharacter> characters;
  characters.reserve(text.size());
  const bool utf8 = IsUtf8(code_page);
  const iconv_t no_converter =
      reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's failure value
  iconv_t converter = utf8 ? no_converter : iconv_open("UTF-32LE", code_page.c_str());
  const bool have_converter = converter != no_converter;
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view rest = text.substr(at);
    std::size_t length = 1;
    if (static_cast<unsigned char>(rest[0]) >= 0x80) {
      if (utf8) {
        length = Utf8Length(rest);
      } else if (have_converter) {
        length = CodePageLength(converter, rest);
      }
    }
    characters.push_back(Pack(rest.substr(0, length)));
    at += length;
  }
  if (have_converter) iconv_close(converter);
  return characters;
}

}  // namespace ydr::platform
