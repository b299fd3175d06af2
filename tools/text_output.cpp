#include "tools/text_output.h"

#include <cstdio>

namespace ydr::tool {

bool PrintWide(const portable::WChar *text) {
  const std::string utf8 = portable::Utf8FromWide(text);
  return std::fwrite(utf8.data(), 1, utf8.size(), stdout) == utf8.size();
}

bool PrintLine(const std::string &text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fputc('\n', stdout) != EOF;
}

bool FlushOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

std::string Printable(const std::string &utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    char32_t c;
    char escape[16];
    if (!portable::DecodeUtf8(utf8, &pos, &c)) {
      static_cast<void>(std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(utf8[start])));
      out += escape;
      continue;
    }
    switch (c) {
      case '\n': out += "\\n"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      static_cast<void>(std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c)));
      out += escape;
    } else if ((c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
               (c >= 0x2066 && c <= 0x2069)) {  // line breaks and the text-direction overrides
      static_cast<void>(std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c)));
      out += escape;
    } else {
      out.append(utf8, start, pos - start);
    }
  }
  return out;
}

std::string Printable(const portable::WString &name) { return Printable(portable::Utf8FromWide(name)); }

}  // namespace ydr::tool
