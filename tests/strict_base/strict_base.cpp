// The strict base library's exports that are the same on every system (see strict_base.h).
#include "tests/strict_base/strict_base.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "base/code_page_conversion.h"
#include "base/ydr_base.h"
#include "platform/files.h"
#include "platform/text.h"

namespace ydr::strict {

void Refuse(const char *function, const char *what) {
  std::fprintf(stderr, "strict base library: %s: %s\n", function, what);
  std::fflush(stderr);
  std::abort();
}

namespace {

using portable::WChar;
using portable::WString;

thread_local int t_error = 0;

bool IsUtf8(const std::string &code_page) { return code_page == "UTF-8" || code_page == "CP65001"; }

void CheckConversionArguments(const char *function, unsigned int code_page, unsigned int flags, const void *src,
                              int src_length, const void *dst, int reserved) {
  if (dst == nullptr) Refuse(function, "null destination");
  if (src == nullptr) Refuse(function, "null source");
  if (code_page != 0 || flags != 0 || src_length != -1 || reserved != 0) {
    Refuse(function, "arguments other than (0, 0, source, -1, destination, size, 0)");
  }
}

}  // namespace
}  // namespace ydr::strict

using namespace ydr;
using namespace ydr::strict;

YDR_BL_API int YdrInitModule(YDR_MODULE_INFO *info) {
  if (info == nullptr) Refuse("YdrInitModule", "null record");
  return 0;
}

YDR_BL_API void YdrExitModule(YDR_MODULE_INFO *info) {
  if (info == nullptr) Refuse("YdrExitModule", "null record");
}

YDR_BL_API void YdrSetError(int code) { t_error = code; }
YDR_BL_API int YdrGetError(void) { return t_error; }

YDR_BL_API int YdrUnicodeToAnsi(unsigned int codePage, unsigned int flags, const unsigned short *src, int srcLength,
                                char *dst, int dstBytes, int reserved) {
  CheckConversionArguments("YdrUnicodeToAnsi", codePage, flags, src, srcLength, dst, reserved);
  const std::size_t length = portable::WideLength(src);
  const std::size_t documented = (length + 1) * 4;
  if (dstBytes < 0 || static_cast<std::size_t>(dstBytes) < documented) {
    Refuse("YdrUnicodeToAnsi", "destination smaller than (characters + 1) x 4 bytes");
  }
  std::memset(dst, kGuardByte, static_cast<std::size_t>(dstBytes));
  dst[0] = 0;  // what is left when memory runs out
  try {
    const std::string code_page = platform::AnsiCodePageName();
    std::string text;
    if (IsUtf8(code_page)) {
      text = portable::Utf8FromWide(src, length);
    } else {
      std::vector<char32_t> points;  // a lone surrogate stands for itself, as the system converts it
      for (std::size_t i = 0; i < length;) {
        const WChar unit = src[i];
        const char32_t point = portable::DecodeUtf16(src, length, &i);
        points.push_back(unit >= 0xD800 && unit < 0xE000 && point < 0x10000 ? unit : point);
      }
      base::Converted<char> converted;
      if (base::EncodeInCodePage(points, code_page, &converted)) text = converted.text;
    }
    std::memcpy(dst, text.c_str(), text.size() + 1);
  } catch (const std::bad_alloc &) {
  }
  return 0;
}

YDR_BL_API int YdrAnsiToUnicode(unsigned int codePage, unsigned int flags, const char *src, int srcLength,
                                unsigned short *dst, int dstChars, int reserved) {
  CheckConversionArguments("YdrAnsiToUnicode", codePage, flags, src, srcLength, dst, reserved);
  const std::size_t length = std::strlen(src);
  const std::size_t documented = (3 * length + 4) / 2;
  if (dstChars < 0 || static_cast<std::size_t>(dstChars) < documented) {
    Refuse("YdrAnsiToUnicode", "destination smaller than (3n + 4) / 2 characters");
  }
  std::memset(dst, kGuardByte, static_cast<std::size_t>(dstChars) * sizeof *dst);
  dst[0] = 0;  // what is left when memory runs out
  try {
    const std::string code_page = platform::AnsiCodePageName();
    WString text;
    if (IsUtf8(code_page)) {
      text = portable::WideFromUtf8(std::string(src, length));
    } else {
      std::vector<char32_t> points;
      if (base::DecodeFromCodePage(src, length, code_page, &points)) {
        for (const char32_t c : points) portable::AppendUtf16(c, &text);
      }
    }
    if (text.size() >= static_cast<std::size_t>(dstChars)) text.resize(static_cast<std::size_t>(dstChars) - 1);
    std::memcpy(dst, text.c_str(), (text.size() + 1) * sizeof *dst);
  } catch (const std::bad_alloc &) {
  }
  return 0;
}

YDR_BL_API int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst) {
  if (dst == nullptr) Refuse("YdrPathToAbsolute", "null destination");
  if (path == nullptr) Refuse("YdrPathToAbsolute", "null path");
  std::memset(dst, kGuardByte, kPathUnits * sizeof *dst);
  dst[0] = 0;  // also what is left when memory runs out
  try {
    const std::size_t length = portable::WideLength(path);
    const WString absolute = length == 0 ? WString() : SystemAbsolutePath(WString(path, length));
    if (absolute.size() < kPathUnits) std::memcpy(dst, absolute.c_str(), (absolute.size() + 1) * sizeof *dst);
  } catch (const std::bad_alloc &) {
  }
  return 0;
}

YDR_BL_API int YdrPathCreate(const unsigned short *absolutePath) {
  if (absolutePath == nullptr) Refuse("YdrPathCreate", "null path");
  try {
    const WString path(absolutePath, portable::WideLength(absolutePath));
    // Every folder before a separator; a path ending in one names a folder, made too.
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (!platform::IsSeparator(path[i]) || platform::IsSeparator(path[i - 1]) || path[i - 1] == ':') continue;
      const auto folder = std::filesystem::u8path(platform::NativePathFromWide(path.substr(0, i).c_str()));
      std::error_code error;
      std::filesystem::create_directory(folder, error);
      if (!std::filesystem::is_directory(folder, error)) return 0;
    }
    return path.empty() ? 0 : 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode) {
  if (path == nullptr || mode == nullptr) Refuse("_u__wfopen", "null path or mode");
  const bool read = mode[0] == 'r' && mode[1] == 'b' && mode[2] == 0;
  const bool write = mode[0] == 'w' && mode[1] == 'b' && mode[2] == 0;
  if (!read && !write) Refuse("_u__wfopen", "a mode other than \"rb\" or \"wb\"");
  if (path[0] == 0) return nullptr;
  try {
    return platform::OpenStream(platform::NativePathFromWide(path), read ? "rb" : "wb");
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

YDR_BL_API int YdrBase64ToAscii(const char *text, unsigned char **buffer) {
  if (text == nullptr || buffer == nullptr || *buffer == nullptr) Refuse("YdrBase64ToAscii", "null text or buffer");
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t characters = std::strlen(text);
  unsigned char *out = *buffer;
  std::memset(out, kGuardByte, characters);
  std::size_t count = 0;
  std::uint32_t bits = 0;
  int held = 0;
  for (std::size_t i = 0; i < characters && text[i] != '='; ++i) {
    const char *at = text[i] != 0 ? std::strchr(kAlphabet, text[i]) : nullptr;
    if (at == nullptr) continue;  // line breaks and blanks
    bits = bits << 6 | static_cast<std::uint32_t>(at - kAlphabet);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out[count++] = static_cast<unsigned char>(bits >> held);
    }
  }
  return static_cast<int>(count);
}
