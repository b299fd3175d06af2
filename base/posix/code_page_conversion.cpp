#include <errno.h>
#include <iconv.h>

#include <cstring>

#include "base/code_page_conversion.h"

namespace ydr::base {
namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char *kUtf32 = "UTF-32LE";
#else
constexpr const char *kUtf32 = "UTF-32BE";
#endif

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

}  // namespace

bool EncodeInCodePage(const std::vector<char32_t> &code_points, const std::string &code_page, Converted<char> *out) {
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

}  // namespace ydr::base
