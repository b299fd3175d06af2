// ydr numstr: list labels in every numbering style.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "portable/utf16.h"
#include "tools/command.h"
#include "tools/options.h"
#include "tools/text_output.h"
#include "ydr/numstr.h"

namespace ydr::tool {

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
  if (!portable::DecodeUtf8(text, &pos, &code_point) || pos != text.size() || code_point > 0xFFFF ||
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

// The style names, for shell completion.
std::string StyleNames() {
  std::string names;
  for (const StyleName &entry : kStyles) names += std::string(names.empty() ? "" : " ") + entry.name;
  return names;
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

namespace {

int RunNumstr(const ParsedOptions &options) {
  if (options.Has("table")) {
    if (!options.operands().empty()) return Complain(kExitUsage, "--table takes no STYLE or NUMBER");
    return PrintTable();
  }
  if (options.Has("single") && options.Has("extended")) {
    return Complain(kExitUsage, "--single and --extended choose opposite forms");
  }
  unsigned short decoration[3] = {0, 0, 0};
  const char *const roles[3] = {"symbol", "open", "close"};
  for (int role = 0; role < 3; ++role) {
    if (!options.Has(roles[role])) continue;
    const std::string &value = options.Value(roles[role]);
    if (!ParseCharacter(value, &decoration[role])) {
      return Complain(kExitUsage, std::string("--") + roles[role] +
                                      " takes one printable character of the Basic Multilingual Plane, not '" + value +
                                      "'");
    }
  }
  const auto &operands = options.operands();
  if (operands.size() != 2) return Complain(kExitUsage, "numstr needs STYLE and NUMBER (see 'ydr numstr --help')");
  unsigned int style;
  int number;
  if (!ParseStyle(operands[0], &style)) return Complain(kExitUsage, "unknown style '" + operands[0] + "'");
  if (!ParseNumber(operands[1], &number)) {
    return Complain(kExitUsage,
                    "NUMBER must be a whole number from -2147483648 to 2147483647, not '" + operands[1] + "'");
  }
  // The library writes an empty label for what a style cannot show; the command says so
  // instead of printing an empty line as if it were the label.
  if (number < 1 && style != YDR_NUM_DECIMAL) {
    return Complain(kExitFailure, "style '" + operands[0] + "' has no label for " + operands[1] +
                                      ": only decimal shows numbers below 1");
  }
  if (style == YDR_NUM_REPEAT_SYMBOL && decoration[0] == 0) {
    return Complain(kExitUsage, "the repeat style repeats a symbol: give it with --symbol C");
  }
  // The growing form unless the cycling one is asked for.
  const auto label = Render(style, number, decoration, !options.Has("single"));
  if (!PrintWide(label.data()) || std::fputc('\n', stdout) == EOF || !FlushOutput()) {
    return Complain(kExitFailure, "cannot write to standard output");
  }
  return kExitOk;
}

}  // namespace

extern const Command kNumstrCommand = {
    "numstr",
    "print a number as a list label in a numbering style",
    "usage: ydr numstr [--single] [--open C] [--close C] [--symbol C] STYLE NUMBER\n"
    "       ydr numstr --table\n",
    "Prints NUMBER as a list label, in UTF-8: by default in the growing form (Z, AA, AB ...;\n"
    "MCMXCIX; thousands as M ...), with --single in the cycling form. STYLE is a code or name:\n"
    "  0 decimal            8 korean-syllable             14 circled-ideograph\n"
    "  1 circled            9 circled-korean-syllable     15 stem-korean\n"
    "  2 roman-upper       10 korean-consonant            16 stem-hanja\n"
    "  3 roman-lower       11 circled-korean-consonant   128 footnote\n"
    "  4 latin-upper       12 korean-words               129 repeat (repeats --symbol)\n"
    "  5 latin-lower       13 hanja-words\n"
    "  6 circled-latin-upper\n"
    "  7 circled-latin-lower\n"
    "Other codes print decimal. Every style but decimal (0) labels the numbers from 1; 0 or a\n"
    "negative NUMBER (given as it is: -5) is an error there.\n"
    "\n"
    "  --single      the cycling form (Z, A, B ...)\n"
    "  --extended    the growing form (the default)\n"
    "  --open C      character written before the label\n"
    "  --close C     character written after the label\n"
    "  --symbol C    the symbol that the repeat style repeats\n"
    "  --table       every style, single and extended form, for 1..30\n",
    {{"single", 0, false},
     {"extended", 0, false},
     {"open", 0, true},
     {"close", 0, true},
     {"symbol", 0, true},
     {"table", 0, false}},
    true,
    RunNumstr,
    StyleNames(),
};

}  // namespace ydr::tool
