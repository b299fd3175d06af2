#include "portable/utf16.h"

#include "ydr/utf8.h"

namespace ydr::portable {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::size_t WideLength(const WChar *text) {
  if (text == nullptr) return 0;
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

char32_t DecodeUtf16(const WChar *text, std::size_t length, std::size_t *pos) {
  char32_t unit = text[(*pos)++];
  if (IsHighSurrogate(unit) && *pos < length && IsLowSurrogate(text[*pos])) {
    char32_t low = text[(*pos)++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) return kReplacement;
  return unit;
}

bool DecodeUtf8(std::string_view text, std::size_t *pos, char32_t *out) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const std::size_t start = *pos;
  const unsigned char lead = byte(start);
  *pos = start + 1;
  *out = kReplacement;
  if (lead < 0x80) {
    *out = lead;
    return true;
  }

  int extra;
  char32_t code_point;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, code_point = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code_point = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (start + extra >= text.size()) return false;  // truncated sequence
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = byte(start + i);
    if ((next & 0xC0) != 0x80) return false;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return false;
  }
  *pos = start + 1 + extra;
  *out = code_point;
  return true;
}

void AppendUtf8(char32_t cp, std::string *out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(char32_t cp, WString *out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<WChar>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<WChar>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<WChar>(0xDC00 + (cp & 0x3FF)));
  }
}

// Whole strings go through the public header's conversions, which hosts use too, so the
// library and its callers convert alike.
std::string Utf8FromWide(const WChar *text, std::size_t length) { return ydr::Utf8FromUtf16(text, length); }

WString WideFromUtf8(std::string_view text) { return ydr::Utf16FromUtf8(text); }

}  // namespace ydr::portable
