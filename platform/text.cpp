#include "platform/text.h"

#include <string>

namespace ydr::platform {

std::string CodePageName(unsigned int code_page) {
  switch (code_page) {
    case 0:
    case 1: return AnsiCodePageName();
    case 65001: return "UTF-8";
    default: return "CP" + std::to_string(code_page);
  }
}

namespace {

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

}  // namespace

std::vector<AnsiCharacter> SplitAnsiCharacters(std::string_view text, const std::string &code_page) {
  std::vector<AnsiCharacter> characters;
  characters.reserve(text.size());
  const bool utf8 = IsUtf8(code_page);
  CodePageCharacters converter(utf8 ? std::string() : code_page);
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view rest = text.substr(at);
    std::size_t length = 1;
    if (static_cast<unsigned char>(rest[0]) >= 0x80) {
      if (utf8) {
        length = Utf8Length(rest);
      } else if (converter.known()) {
        length = converter.Length(rest);
      }
    }
    characters.push_back(Pack(rest.substr(0, length)));
    at += length;
  }
  return characters;
}

}  // namespace ydr::platform
