// Conversion between UTF-16 and 8-bit code pages. UTF-8 is converted here directly; every
// other code page goes through the system (base/code_page_conversion.h), one character at a
// time towards the code page (so a character it lacks becomes '?' without disturbing its
// neighbours), and resynchronising byte by byte after a malformed sequence in the other
// direction.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/code_page_conversion.h"
#include "base/ydr_base.h"
#include "platform/registry_file.h"
#include "platform/text.h"
#include "portable/guarded_call.h"
#include "portable/utf16.h"

namespace {

using ydr::portable::WChar;
using ydr::portable::WString;

using ydr::base::Converted;
using ydr::base::kUnmappable;

bool IsUtf8(const std::string &name) {
  return ydr::platform::EqualsIgnoringAsciiCase(name, "UTF-8") || ydr::platform::EqualsIgnoringAsciiCase(name, "UTF8");
}

bool EncodeToCodePage(const std::vector<char32_t> &code_points, const std::string &code_page, Converted<char> *out) {
  if (!IsUtf8(code_page)) return ydr::base::EncodeInCodePage(code_points, code_page, out);
  for (char32_t cp : code_points) {
    ydr::portable::AppendUtf8(cp, &out->text);
    out->EndCharacter();
  }
  return true;
}

bool DecodeFromCodePage(const char *src, std::size_t length, const std::string &code_page, std::vector<char32_t> *out) {
  if (!IsUtf8(code_page)) return ydr::base::DecodeFromCodePage(src, length, code_page, out);
  const std::string_view text(src, length);
  for (std::size_t pos = 0; pos < length;) {
    char32_t cp;
    out->push_back(ydr::portable::DecodeUtf8(text, &pos, &cp) ? cp : kUnmappable);
  }
  return true;
}

template <class Unit>
int Deliver(const Converted<Unit> &converted, bool terminated, Unit *dst, int dst_size) {
  const std::size_t size = converted.text.size();
  if (size > static_cast<std::size_t>(INT_MAX)) return 0;
  if (dst_size == 0) return static_cast<int>(size);
  const auto capacity = static_cast<std::size_t>(dst_size);
  if (size <= capacity) {
    std::memcpy(dst, converted.text.data(), size * sizeof(Unit));
    return static_cast<int>(size);
  }
  // Too long: as many whole characters as fit (with room for the terminator if the source
  // had one), and the failure result.
  const std::size_t room = terminated ? capacity - 1 : capacity;
  std::size_t cut = 0;
  for (std::size_t end : converted.ends) {
    if (end > room) break;
    cut = end;
  }
  std::memcpy(dst, converted.text.data(), cut * sizeof(Unit));
  if (terminated) dst[cut] = 0;
  return 0;
}

}  // namespace

YDR_BL_API int YdrUnicodeToAnsi(unsigned int codePage, unsigned int /*flags*/, const unsigned short *src, int srcLength,
                                char *dst, int dstBytes, int /*reserved*/) {
  return ydr::portable::GuardedCall(0, [&] {
    if (src == nullptr || srcLength < -1 || srcLength == 0 || dstBytes < 0 || (dst == nullptr && dstBytes > 0)) {
      return 0;
    }
    const bool terminated = srcLength == -1;
    const std::size_t length = terminated ? ydr::portable::WideLength(src) : static_cast<std::size_t>(srcLength);
    std::vector<char32_t> code_points;
    code_points.reserve(length + 1);
    for (std::size_t pos = 0; pos < length;) code_points.push_back(ydr::portable::DecodeUtf16(src, length, &pos));

    Converted<char> converted;
    if (!EncodeToCodePage(code_points, ydr::platform::CodePageName(codePage), &converted)) return 0;
    if (terminated) {
      converted.text.push_back('\0');
      converted.EndCharacter();
    }
    return Deliver(converted, terminated, dst, dstBytes);
  });
}

YDR_BL_API int YdrAnsiToUnicode(unsigned int codePage, unsigned int /*flags*/, const char *src, int srcLength,
                                unsigned short *dst, int dstChars, int /*reserved*/) {
  return ydr::portable::GuardedCall(0, [&] {
    if (src == nullptr || srcLength < -1 || srcLength == 0 || dstChars < 0 || (dst == nullptr && dstChars > 0)) {
      return 0;
    }
    const bool terminated = srcLength == -1;
    const std::size_t length = terminated ? std::strlen(src) : static_cast<std::size_t>(srcLength);
    std::vector<char32_t> code_points;
    code_points.reserve(length + 1);
    if (!DecodeFromCodePage(src, length, ydr::platform::CodePageName(codePage), &code_points)) return 0;

    Converted<WChar> converted;
    for (char32_t cp : code_points) {
      ydr::portable::AppendUtf16(cp, &converted.text);
      converted.EndCharacter();
    }
    if (terminated) {
      converted.text.push_back(0);
      converted.EndCharacter();
    }
    return Deliver(converted, terminated, dst, dstChars);
  });
}
