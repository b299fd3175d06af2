// ydr numstr: list labels in every numbering style.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/utf16.h"
#include "tools/command.h"
#include "tools/text_output.h"
#include "ydr/numstr.h"

namespace ydr::tool {

const char kNumstrUsage[] =
    "usage: ydr numstr STYLE NUMBER [--extended] [--open C] [--close C] [--symbol C]\n"
    "       ydr numstr --table\n"
    "\n"
    "Prints NUMBER as a list label, in UTF-8. STYLE is a style code or name:\n"
    "  0 decimal            8 korean-syllable             14 circled-ideograph\n"
    "  1 circled            9 circled-korean-syllable     15 stem-korean\n"
    "  2 roman-upper       10 korean-consonant            16 stem-hanja\n"
    "  3 roman-lower       11 circled-korean-consonant   128 footnote\n"
    "  4 latin-upper       12 korean-words               129 repeat (repeats --symbol)\n"
    "  5 latin-lower       13 hanja-words\n"
    "  6 circled-latin-upper\n"
    "  7 circled-latin-lower\n"
    "Other codes print decimal.\n"
    "\n"
    "  --extended   labels grow instead of cycling (Z, AA, AB ...; thousands as m ...)\n"
    "  --open C     character written before the label\n"
    "  --close C    character written after the label\n"
    "  --symbol C   the symbol that the repeat style repeats\n"
    "  --table      every style, single and extended form, for 1..30\n";

namespace {

struct StyleName {
  unsigned int code;
  const char *name;
};

constexpr StyleName kStyles[] = {
    {YDR_NUM_DECIMAL, "decimal"},
    {YDR_NUM_CIRCLED, "circled"},
    {YDR_NUM_ROMAN_UPPER, "roman-upper"},
    {YDR_NUM_ROMAN_LOWER, "roman-lower"},
    {YDR_NUM_LATIN_UPPER, "latin-upper"},
    {YDR_NUM_LATIN_LOWER, "latin-lower"},
    {YDR_NUM_CIRCLED_LATIN_UPPER, "circled-latin-upper"},
    {YDR_NUM_CIRCLED_LATIN_LOWER, "circled-latin-lower"},
    {YDR_NUM_KOREAN_SYLLABLE, "korean-syllable"},
    {YDR_NUM_CIRCLED_KOREAN_SYLLABLE, "circled-korean-syllable"},
    {YDR_NUM_KOREAN_CONSONANT, "korean-consonant"},
    {YDR_NUM_CIRCLED_KOREAN_CONSONANT, "circled-korean-consonant"},
    {YDR_NUM_KOREAN_WORDS, "korean-words"},
    {YDR_NUM_HANJA_WORDS, "hanja-words"},
    {YDR_NUM_CIRCLED_IDEOGRAPH, "circled-ideograph"},
    {YDR_NUM_STEM_KOREAN, "stem-korean"},
    {YDR_NUM_STEM_HANJA, "stem-hanja"},
    {YDR_NUM_FOOTNOTE, "footnote"},
    {YDR_NUM_REPEAT_SYMBOL, "repeat"},
};

bool ParseStyle(const std::string &text, unsigned int *style) {
  for (const StyleName &entry : kStyles) {
    if (text == entry.name) {
      *style = entry.code;
      return true;
    }
  }
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul) return false;
  *style = static_cast<unsigned int>(value);
  return true;
}

bool ParseNumber(const std::string &text, int *number) {
  if (text.empty()) return false;
  errno = 0;
  char *end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < -2147483648LL || value > 2147483647LL) return false;
  *number = static_cast<int>(value);
  return true;
}

// One character, given in UTF-8, that fits in one UTF-16 unit.
bool ParseCharacter(const std::string &text, unsigned short *unit) {
  if (text.empty()) return false;
  std::size_t pos = 0;
  char32_t code_point;
  if (!platform::DecodeUtf8(text, &pos, &code_point) || pos != text.size() || code_point > 0xFFFF ||
      code_point < 0x20) {
    return false;
  }
  *unit = static_cast<unsigned short>(code_point);
  return true;
}

std::vector<unsigned short> Render(unsigned int style, int number, const unsigned short *decoration, bool extended) {
  // 22 units hold every label but the extended Roman form, which adds one unit a thousand.
  std::size_t units = 32;
  if (extended && (style == YDR_NUM_ROMAN_UPPER || style == YDR_NUM_ROMAN_LOWER) && number > 0) {
    units += static_cast<std::size_t>(number) / 1000;
  }
  std::vector<unsigned short> output(units);
  YdrMakeNumString(style, number, output.data(), decoration, extended ? 1 : 0);
  return output;
}

int PrintTable() {
  bool ok = true;
  const unsigned short decoration[3] = {'-', 0, 0};
  for (const StyleName &entry : kStyles) {
    for (int extended = 0; extended <= 1; ++extended) {
      char heading[64];
      static_cast<void>(std::snprintf(heading, sizeof heading, "%3u %-24s %-8s ", entry.code,
                                      extended ? "" : entry.name, extended ? "extended" : "single"));
      ok = ok && std::fputs(heading, stdout) != EOF;
      for (int number = 1; number <= 30; ++number) {
        const auto label = Render(entry.code, number, decoration, extended != 0);
        ok = ok && PrintWide(label.data()) && std::fputc(number < 30 ? ' ' : '\n', stdout) != EOF;
      }
    }
  }
  if (!FlushOutput() || !ok) return Complain(kExitFailure, "cannot write the table to standard output");
  return kExitOk;
}

}  // namespace

int RunNumstr(const Arguments &args) {
  if (args.size() == 1 && args[0] == "--table") return PrintTable();

  std::vector<std::string> positional;
  bool extended = false;
  unsigned short decoration[3] = {0, 0, 0};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    int role = -1;
    if (arg == "--extended") {
      extended = true;
      continue;
    }
    if (arg == "--symbol") role = 0;
    if (arg == "--open") role = 1;
    if (arg == "--close") role = 2;
    if (role >= 0) {
      if (i + 1 == args.size()) return Complain(kExitUsage, arg + " needs a character");
      if (!ParseCharacter(args[++i], &decoration[role])) {
        return Complain(kExitUsage,
                        arg + " takes one printable character of the Basic Multilingual Plane, not '" + args[i] + "'");
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9')) {
      return Complain(kExitUsage, "unknown option '" + arg + "' (see 'ydr help numstr')");
    }
    positional.push_back(arg);
  }
  if (positional.size() != 2) return Complain(kExitUsage, "numstr needs STYLE and NUMBER (see 'ydr help numstr')");

  unsigned int style;
  int number;
  if (!ParseStyle(positional[0], &style)) return Complain(kExitUsage, "unknown style '" + positional[0] + "'");
  if (!ParseNumber(positional[1], &number)) {
    return Complain(kExitUsage,
                    "NUMBER must be a whole number from -2147483648 to 2147483647, not '" + positional[1] + "'");
  }
  const auto label = Render(style, number, decoration, extended);
  if (!PrintWide(label.data()) || std::fputc('\n', stdout) == EOF || !FlushOutput()) {
    return Complain(kExitFailure, "cannot write to standard output");
  }
  return kExitOk;
}

}  // namespace ydr::tool
