// The system's conversions, one character at a time, with the same rules as everywhere:
// a character the code page lacks becomes '?' (never a "best fit" look-alike), and a byte
// that does not begin a character becomes '?' and decoding goes on with the next byte.
#include <windows.h>

#include "base/code_page_conversion.h"
#include "platform/windows/code_page_number.h"
#include "portable/utf16.h"

namespace ydr::base {

bool EncodeInCodePage(const std::vector<char32_t> &code_points, const std::string &code_page, Converted<char> *out) {
  const UINT number = platform::CodePageNumber(code_page);
  if (number == 0) return false;
  for (char32_t cp : code_points) {
    portable::WString units;
    portable::AppendUtf16(cp, &units);
    char bytes[16];
    BOOL used_default = FALSE;
    const auto *wide = reinterpret_cast<const wchar_t *>(units.data());
    const int count = static_cast<int>(units.size());
    int written =
        WideCharToMultiByte(number, WC_NO_BEST_FIT_CHARS, wide, count, bytes, sizeof bytes, nullptr, &used_default);
    // Some code pages take neither the flag nor the question; they convert without them.
    if (written == 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
      used_default = FALSE;
      written = WideCharToMultiByte(number, 0, wide, count, bytes, sizeof bytes, nullptr, nullptr);
    }
    if (written <= 0 || used_default) {
      out->text.push_back(static_cast<char>(kUnmappable));
    } else {
      out->text.append(bytes, static_cast<std::size_t>(written));
    }
    out->EndCharacter();
  }
  return true;
}

bool DecodeFromCodePage(const char *src, std::size_t length, const std::string &code_page, std::vector<char32_t> *out) {
  const UINT number = platform::CodePageNumber(code_page);
  if (number == 0) return false;
  for (std::size_t at = 0; at < length;) {
    const bool lead = at + 1 < length && IsDBCSLeadByteEx(number, static_cast<BYTE>(src[at]));
    const int size = lead ? 2 : 1;
    wchar_t units[4];
    const int count = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, src + at, size, units, 4);
    if (count <= 0) {
      out->push_back(kUnmappable);
      ++at;
      continue;
    }
    const auto *wide = reinterpret_cast<const portable::WChar *>(units);
    for (std::size_t pos = 0; pos < static_cast<std::size_t>(count);) {
      out->push_back(portable::DecodeUtf16(wide, static_cast<std::size_t>(count), &pos));
    }
    at += static_cast<std::size_t>(size);
  }
  return true;
}

}  // namespace ydr::base
