/* UTF-8 for the C++ interfaces, whose text is UTF-16 in unsigned 16-bit units (paths and
 * names of the archive object, passwords of the key objects): header-only conversions, so
 * that a caller on Linux need not write its own. C++ only; compiled as C this header
 * declares nothing.
 *
 *   CYdrZIP zip;
 *   std::vector<YdrWString> paths = {ydr::Utf16FromUtf8("문서/")};
 *   zip.CompressZIP(paths, ydr::Utf16FromUtf8("docs.ydz").c_str());
 */
#ifndef YDR_UTF8_H
#define YDR_UTF8_H

#ifdef __cplusplus
#include <string>
#include <string_view>

namespace ydr {

using Utf16String = std::basic_string<unsigned short>;

/* UTF-8 to UTF-16. A malformed or truncated sequence becomes U+FFFD, one per byte, so
 * nothing after it is lost. */
inline Utf16String Utf16FromUtf8(std::string_view text) {
  Utf16String out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t length = 1;
    if (lead < 0x80) {
      cp = lead;
    } else {
      const std::size_t need = lead >= 0xC2 && lead < 0xE0   ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
      char32_t value = need == 2 ? lead & 0x1Fu : need == 3 ? lead & 0x0Fu : lead & 0x07u;
      bool ok = need != 0 && i + need <= text.size();
      for (std::size_t k = 1; ok && k < need; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        ok = (c & 0xC0) == 0x80;
        value = value << 6 | (c & 0x3Fu);
      }
      /* No overlong forms, no surrogates, nothing above U+10FFFF. */
      ok = ok && !(need == 3 && value < 0x800) && !(need == 4 && (value < 0x10000 || value > 0x10FFFF)) &&
           !(value >= 0xD800 && value <= 0xDFFF);
      if (ok) {
        cp = value;
        length = need;
      }
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<unsigned short>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<unsigned short>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<unsigned short>(cp));
    }
    i += length;
  }
  return out;
}

/* UTF-16 to UTF-8. A lone surrogate becomes U+FFFD. */
inline std::string Utf8FromUtf16(const unsigned short *text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

inline std::string Utf8FromUtf16(const Utf16String &text) { return Utf8FromUtf16(text.data(), text.size()); }

/* A zero-terminated UTF-16 string (a name from GetNextFileName, say). */
inline std::string Utf8FromUtf16(const unsigned short *text) {
  std::size_t length = 0;
  while (text != nullptr && text[length] != 0) ++length;
  return Utf8FromUtf16(text, length);
}

}  // namespace ydr

#endif /* __cplusplus */

#endif /* YDR_UTF8_H */
