// Conversion between UTF-16 and 8-bit code pages. UTF-8 is converted here directly; every
// other code page goes through iconv, one character at a time towards the code page (so a
// character it lacks becomes '?' without disturbing its neighbours), and resynchronising
// byte by byte after a malformed sequence in the other direction.
#include <errno.h>
#include <iconv.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/ydr_base.h"
#include "platform/ansi_code_page.h"
#include "platform/guarded_call.h"
#include "platform/registry_file.h"
#include "platform/utf16.h"

namespace {

using ydr::platform::WChar;
using ydr::platform::WString;

constexpr char32_t kUnmappable = '?';
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char *kUtf32 = "UTF-32LE";
#else
constexpr const char *kUtf32 = "UTF-32BE";
#endif

bool IsUtf8(const std::string &name) {
  return ydr::platform::EqualsIgnoringAsciiCase(name, "UTF-8") || ydr::platform::EqualsIgnoringAsciiCase(name, "UTF8");
}

class Converter {
 public:
  Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter &) = delete;
  Converter &operator=(const Converter &) = delete;
  // iconv's failure value is the all-ones pointer.
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converted text and the offset after each of its characters, so that text too long for
// its destination is cut between characters, never inside one.
template <class Unit>
struct Converted {
  std::basic_string<Unit> text;
  std::vector<std::size_t> ends;
  void EndCharacter() { ends.push_back(text.size()); }
};

bool EncodeToCodePage(const std::vector<char32_t> &code_points, const std::string &code_page, Converted<char> *out) {
  if (IsUtf8(code_page)) {
    for (char32_t cp : code_points) {
      ydr::platform::AppendUtf8(cp, &out->text);
      out->EndCharacter();
    }
    return true;
  }
  Converter converter(code_page.c_str(), kUtf32);
  if (!converter.ok()) return false;
  for (char32_t cp : code_points) {
    char in_bytes[4];
    std::memcpy(in_bytes, &cp, sizeof in_bytes);
    char out_bytes[32];
    char *in = in_bytes;
    char *o = out_bytes;
    std::size_t in_left = sizeof in_bytes;
    std::size_t out_left = sizeof out_bytes;
    if (iconv(converter.get(), &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1)) {
      out->text.push_back(static_cast<char>(kUnmappable));
    } else {
      out->text.append(out_bytes, static_cast<std::size_t>(o - out_bytes));
    }
    out->EndCharacter();
  }
  char tail[32];  // a stateful code page's return to its initial shift state
  char *o = tail;
  std::size_t out_left = sizeof tail;
  if (iconv(converter.get(), nullptr, nullptr, &o, &out_left) != static_cast<std::size_t>(-1) && o != tail) {
    out->text.append(tail, static_cast<std::size_t>(o - tail));
    if (!out->ends.empty()) out->ends.back() = out->text.size();
  }
  return true;
}

bool DecodeFromCodePage(const char *src, std::size_t length, const std::string &code_page, std::vector<char32_t> *out) {
  if (IsUtf8(code_page)) {
    const std::string_view text(src, length);
    for (std::size_t pos = 0; pos < length;) {
      char32_t cp;
      out->push_back(ydr::platform::DecodeUtf8(text, &pos, &cp) ? cp : kUnmappable);
    }
    return true;
  }
  Converter converter(kUtf32, code_page.c_str());
  if (!converter.ok()) return false;
  char *in = const_cast<char *>(src);
  std::size_t in_left = length;
  std::vector<char32_t> chunk(256);
  while (in_left > 0) {
    char *o = reinterpret_cast<char *>(chunk.data());
    std::size_t out_left = chunk.size() * sizeof(char32_t);
    const std::size_t result = iconv(converter.get(), &in, &in_left, &o, &out_left);
    const int error = errno;
    const std::size_t produced = (chunk.size() * sizeof(char32_t) - out_left) / sizeof(char32_t);
    out->insert(out->end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(produced));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // EILSEQ or EINVAL: one '?' for the offending byte, then carry on with the next.
    out->push_back(kUnmappable);
    ++in;
    --in_left;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
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
  return ydr::platform::GuardedCall(0, [&] {
    if (src == nullptr || srcLength < -1 || srcLength == 0 || dstBytes < 0 || (dst == nullptr && dstBytes > 0)) {
      return 0;
    }
    const bool terminated = srcLength == -1;
    const std::size_t length = terminated ? ydr::platform::WideLength(src) : static_cast<std::size_t>(srcLength);
    std::vector<char32_t> code_points;
    code_points.reserve(length + 1);
    for (std::size_t pos = 0; pos < length;) code_points.push_back(ydr::platform::DecodeUtf16(src, length, &pos));

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
  return ydr::platform::GuardedCall(0, [&] {
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
      ydr::platform::AppendUtf16(cp, &converted.text);
      converted.EndCharacter();
    }
    if (terminated) {
      converted.text.push_back(0);
      converted.EndCharacter();
    }
    return Deliver(converted, terminated, dst, dstChars);
  });
}
