// Text in the system's 8-bit code pages, on POSIX.
#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ydr::platform {

std::string AnsiCodePageName() {
  const char *configured = std::getenv("YDR_ANSI_CODEPAGE");
  if (configured != nullptr && configured[0] != '\0') return configured;

  std::string name = "UTF-8";
  locale_t user_locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user_locale != static_cast<locale_t>(nullptr)) {
    const char *codeset = nl_langinfo_l(CODESET, user_locale);
    if (codeset != nullptr && codeset[0] != '\0' && std::strcmp(codeset, "ANSI_X3.4-1968") != 0) {
      name = codeset;
    }
    freelocale(user_locale);
  }
  return name;
}

namespace {

constexpr std::size_t kMaxCharacterBytes = 4;

// iconv's failure value is the all-ones pointer.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

}  // namespace

CodePageCharacters::CodePageCharacters(const std::string &code_page)
    : system_(reinterpret_cast<std::uintptr_t>(code_page.empty() ? kNoConverter
                                                                 : iconv_open("UTF-32LE", code_page.c_str()))) {}

CodePageCharacters::~CodePageCharacters() {
  if (known()) iconv_close(reinterpret_cast<iconv_t>(system_));  // NOLINT(performance-no-int-to-ptr)
}

bool CodePageCharacters::known() const { return system_ != reinterpret_cast<std::uintptr_t>(kNoConverter); }

// The fewest bytes that iconv turns into exactly one complete character.
std::size_t CodePageCharacters::Length(std::string_view text) {
  const auto converter = reinterpret_cast<iconv_t>(system_);  // NOLINT(performance-no-int-to-ptr)
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

}  // namespace ydr::platform
