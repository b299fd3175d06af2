// Number strings: every style over 1..2000 against an independent computation, the labels
// beyond that range, the decorations, the number-below-1 rule, and the bounds of the output.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "portable/utf16.h"
#include "tests/support/guarded_buffer.h"
#include "ydr/numstr.h"

namespace {

struct Case {
  unsigned int style;
  int number;
  bool extend;
  const char *expected;  // UTF-8
};

std::string Label(unsigned int style, int number, bool extend, const unsigned short *decoration = nullptr) {
  std::vector<unsigned short> out(64 + (number > 0 ? number / 1000 : 0), 0xBEEF);
  YdrMakeNumString(style, number, out.data(), decoration, extend ? 1 : 0);
  return ydr::portable::Utf8FromWide(out.data());
}

// Every style over 1..2000, both forms, against the rules written again here from their
// descriptions, independently of the library's code: labels from literal character lists,
// letter sequences counted up like an odometer, Roman numerals by the greedy subtraction
// method, number words read off the decimal digit string.
using Chars = std::vector<std::string>;  // one UTF-8 character per element

Chars Split(const std::string &utf8) {
  Chars chars;
  const ydr::portable::WString wide = ydr::portable::WideFromUtf8(utf8);
  for (unsigned short unit : wide) chars.push_back(ydr::portable::Utf8FromWide(&unit, 1));
  return chars;
}

Chars CodePointRun(char32_t first, int count) {
  Chars chars;
  for (int i = 0; i < count; ++i) {
    std::string s;
    ydr::portable::AppendUtf8(first + static_cast<char32_t>(i), &s);
    chars.push_back(s);
  }
  return chars;
}

// Labels 1..limit of a bijective numeral over `set`, by counting: add one to the last
// character; past the set's end it starts over and the carry moves left; a carry out of
// the first character adds a new one in front.
std::vector<std::string> CountBijective(const Chars &set, int limit) {
  std::vector<std::string> labels;
  std::vector<std::size_t> digits = {0};
  for (int n = 1; n <= limit; ++n) {
    std::string label;
    for (std::size_t d : digits) label += set[d];
    labels.push_back(label);
    std::size_t i = digits.size();
    while (true) {
      if (i == 0) {
        digits.insert(digits.begin(), 0);
        break;
      }
      --i;
      if (++digits[i] < set.size()) break;
      digits[i] = 0;
    }
  }
  return labels;
}

std::string GreedyRoman(int value) {
  static const std::pair<int, const char *> kSymbols[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"},
                                                          {90, "xc"},  {50, "l"},   {40, "xl"}, {10, "x"},   {9, "ix"},
                                                          {5, "v"},    {4, "iv"},   {1, "i"}};
  std::string out;
  for (const auto &[amount, symbol] : kSymbols) {
    while (value >= amount) {
      out += symbol;
      value -= amount;
    }
  }
  return out;
}

std::string Upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Number words read from the digits, highest first. `units` = ten, hundred, thousand;
// `groups` = the unit for ten thousand and for a hundred million.
std::string Words(int number, const Chars &digits, const Chars &units, const Chars &groups) {
  std::string decimal = std::to_string(number);
  std::string text;
  const int group_count = static_cast<int>((decimal.size() + 3) / 4);
  decimal.insert(0, static_cast<std::size_t>(group_count * 4) - decimal.size(), '0');
  for (int g = 0; g < group_count; ++g) {
    const std::string group = decimal.substr(static_cast<std::size_t>(g) * 4, 4);
    const int level = group_count - 1 - g;
    if (group == "0000") continue;
    for (int pos = 0; pos < 4; ++pos) {
      const int d = group[pos] - '0';
      if (d == 0) continue;
      if (pos < 3) {
        if (d > 1) text += digits[d - 1];
        text += units[2 - pos];
      } else if (d > 1 || level == 0 || group != "0001") {
        text += digits[d - 1];
      }
    }
    if (level > 0) text += groups[level - 1];
  }
  return text;
}

std::string ShortWords(int number, const Chars &digits, const Chars &units) {
  const int m = (number - 1) % 99 + 1;
  std::string text;
  if (m >= 20) text += digits[m / 10 - 1];
  if (m >= 10) text += units[0];
  if (m % 10 != 0) text += digits[m % 10 - 1];
  return text;
}

constexpr int kLimit = 2000;

void ExpectSequenceStyle(unsigned int style, const Chars &set) {
  const std::vector<std::string> extended = CountBijective(set, kLimit);
  for (int n = 1; n <= kLimit; ++n) {
    ASSERT_EQ(Label(style, n, false), set[static_cast<std::size_t>(n - 1) % set.size()])
        << "style " << style << " n " << n;
    ASSERT_EQ(Label(style, n, true), extended[static_cast<std::size_t>(n - 1)]) << "style " << style << " n " << n;
  }
}

TEST(NumStringReferenceTest, SequenceStyles) {
  const Chars syllables = Split(
      "가나다라마바사아자차카타파하거너더러머버서어저처커터퍼허고노도로모보소오조초코토포호"
      "구누두루무부수우주추쿠투푸후그느드르므브스으즈츠크트프흐기니디리미비시이지치키티피히");
  ASSERT_EQ(syllables.size(), 84u);
  struct Style {
    unsigned int code;
    Chars set;
  };
  const Style styles[] = {
      {4, Split("ABCDEFGHIJKLMNOPQRSTUVWXYZ")},
      {5, Split("abcdefghijklmnopqrstuvwxyz")},
      {6, CodePointRun(U'Ⓐ', 26)},
      {7, CodePointRun(U'ⓐ', 26)},
      {8, syllables},
      {9, Split("㉮㉯㉰㉱㉲㉳㉴㉵㉶㉷㉸㉹㉺㉻")},
      {10, Split("ㄱㄴㄷㄹㅁㅂㅅㅇㅈㅊㅋㅌㅍㅎ")},
      {11, Split("㉠㉡㉢㉣㉤㉥㉦㉧㉨㉩㉪㉫㉬㉭")},
      {14, Split("㊀㊁㊂㊃㊄㊅㊆㊇㊈㊉")},
      {15, Split("갑을병정무기경신임계")},
      {16, Split("甲乙丙丁戊己庚辛壬癸")},
  };
  for (const Style &style : styles) {
    SCOPED_TRACE(style.code);
    ExpectSequenceStyle(style.code, style.set);
  }
}

TEST(NumStringReferenceTest, CircledNumbers) {
  const Chars circled = CodePointRun(U'①', 20);
  const Chars digits = Split("Ⓞ①②③④⑤⑥⑦⑧⑨");
  for (int n = 1; n <= kLimit; ++n) {
    ASSERT_EQ(Label(1, n, false), circled[static_cast<std::size_t>(n - 1) % 20]) << n;
    std::string expected;
    for (char c : std::to_string(n)) expected += digits[static_cast<std::size_t>(c - '0')];
    ASSERT_EQ(Label(1, n, true), expected) << n;
  }
}

TEST(NumStringReferenceTest, RomanNumerals) {
  for (int n = 1; n <= kLimit; ++n) {
    const std::string single = GreedyRoman((n - 1) % 999 + 1);
    const std::string extended = GreedyRoman(n);  // thousands are m's either way
    ASSERT_EQ(Label(3, n, false), single) << n;
    ASSERT_EQ(Label(3, n, true), extended) << n;
    ASSERT_EQ(Label(2, n, false), Upper(single)) << n;
    ASSERT_EQ(Label(2, n, true), Upper(extended)) << n;
  }
}

TEST(NumStringReferenceTest, NumberWords) {
  struct Style {
    unsigned int code;
    Chars digits, units, groups;
  };
  const Style styles[] = {
      {12, Split("일이삼사오육칠팔구"), Split("십백천"), Split("만억")},
      {13, Split("一二三四五\xEF\xA7\x91七八九"), Split("十百千"), Split("萬億")},  // six: U+F9D1
  };
  for (const Style &s : styles) {
    ASSERT_EQ(s.digits[5], s.code == 13 ? "\xEF\xA7\x91" : "육");
    for (int n = 1; n <= kLimit; ++n) {
      ASSERT_EQ(Label(s.code, n, false), ShortWords(n, s.digits, s.units)) << n;
      ASSERT_EQ(Label(s.code, n, true), Words(n, s.digits, s.units, s.groups)) << n;
    }
    // The myriad groups, sampled across the whole range.
    for (long long n = 1; n <= 2000000000; n = n * 7 + 3) {
      const int value = static_cast<int>(n);
      ASSERT_EQ(Label(s.code, value, true), Words(value, s.digits, s.units, s.groups)) << value;
    }
  }
}

TEST(NumStringReferenceTest, FootnoteSymbolsAndRepeatedSymbol) {
  const Chars symbols = Split("*†‡§");
  const unsigned short decoration[3] = {0x2022, 0, 0};  // •
  for (int n = 1; n <= kLimit; ++n) {
    std::string footnote, repeated;
    for (int i = 0; i < (n - 1) / 4 % 5 + 1; ++i) footnote += symbols[static_cast<std::size_t>(n - 1) % 4];
    for (int i = 0; i < (n - 1) % 5 + 1; ++i) repeated += "•";
    for (bool extend : {false, true}) {
      ASSERT_EQ(Label(128, n, extend), footnote) << n;
      unsigned short out[16];
      YdrMakeNumString(129, n, out, decoration, extend);
      ASSERT_EQ(ydr::portable::Utf8FromWide(out), repeated) << n;
    }
  }
}

TEST(NumStringReferenceTest, DecimalAndUnknownStyles) {
  for (int n = -kLimit; n <= kLimit; ++n) {
    ASSERT_EQ(Label(0, n, n % 2 == 0), std::to_string(n));
    for (unsigned int style : {17u, 100u, 127u, 130u, 1000u}) {
      ASSERT_EQ(Label(style, n, false), n < 1 ? std::string() : std::to_string(n)) << style << " " << n;
    }
  }
}

// Known labels the independent computation above does not reach: past
// 2000, zero and below, and style codes it does not count.
TEST(NumStringTest, LabelsOutsideTheCountedRange) {
  const Case cases[] = {
      {4, 0, false, ""},
      {12, -1, true, ""},
      {129, 3, false, ""},  // 129 with no decoration
      {3, 3999, true, "mmmcmxcix"},
      {3, 10000, true, "mmmmmmmmmm"},
      {2, 3999, true, "MMMCMXCIX"},
      {12, 3999, true, "삼천구백구십구"},
      {12, 10000, true, "만"},
      {12, 10001, true, "만일"},
      {12, 20000, true, "이만"},
      {12, 110000, true, "십일만"},
      {12, 1010000, true, "백일만"},
      {12, 100000000, true, "억"},
      {12, 2000000000, true, "이십억"},
      {12, 123456789, true, "억이천삼백사십오만육천칠백팔십구"},
      {12, INT_MAX, true, "이십일억사천칠백사십팔만삼천육백사십칠"},
      {13, 10000, true, "萬"},
      {0, INT_MIN, false, "-2147483648"},
      {0, INT_MAX, true, "2147483647"},
      {127, 7, true, "7"},
      {0xFFFFFFFFu, 9, false, "9"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.style) + " " + std::to_string(c.number) + (c.extend ? " extended" : ""));
    EXPECT_EQ(Label(c.style, c.number, c.extend), c.expected);
  }
}

TEST(NumStringTest, DecorationsFrameTheNumeral) {
  struct Decorated {
    unsigned int style;
    int number;
    unsigned short decoration[3];
    const char *expected;
  };
  const Decorated cases[] = {
      {4, 0, {0, '(', ')'}, "()"},    // an empty numeral keeps its frame
      {2, 4, {0, 'a', 'b'}, "aIVb"},  // decorations are never upper-cased
      {129, 7, {'-', 0, 0}, "--"},
      {129, 5, {'-', '[', ']'}, "[-----]"},
      {129, 6, {0x1F, '[', ']'}, "[]"},  // below U+0020: no symbol
      {0, 3, {0x1F, 0x1F, 0x20}, "3 "},  // U+001F is absent, U+0020 is a character
      {0,
       3,
       {0, 0xFFFF, 0},
       "\xEF\xBF\xBF"
       "3"},  // U+FFFF is a character
      {12, 0, {0, 0x300C, 0x300D}, "「」"},
      {0, -7, {'x', '<', '>'}, "<-7>"},
  };
  for (const Decorated &c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Label(c.style, c.number, false, c.decoration), c.expected);
  }
}

TEST(NumStringTest, NeverWritesPastTheTerminator) {
  // Each label written at the very end of a guarded buffer sized exactly to it.
  const Case cases[] = {{0, INT_MIN, false, "-2147483648"},
                        {12, INT_MAX, true, ""},
                        {3, 888, false, ""},
                        {3, 12888, true, ""},
                        {1, INT_MAX, true, ""},
                        {8, INT_MAX, true, ""},
                        {4, 0, false, ""}};
  const unsigned short decoration[3] = {'*', '(', ')'};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.style) + " " + std::to_string(c.number));
    const std::string label = Label(c.style, c.number, c.extend, decoration);
    const std::size_t units = ydr::portable::WideFromUtf8(label).size() + 1;
    ydr::test::GuardedBuffer<unsigned short> out(units);
    YdrMakeNumString(c.style, c.number, out.data(), decoration, c.extend);
    EXPECT_EQ(out[units - 1], 0);
    EXPECT_EQ(ydr::portable::Utf8FromWide(out.data()), label);
    EXPECT_LE(units, c.style == 3 && c.extend ? 12u + 3u + 12u : 22u);
  }
}

// A null output is never written through: the call returns, in every style and form.
TEST(NumStringTest, NullOutputIsIgnored) {
  const unsigned short decoration[3] = {'*', '(', ')'};
  EXPECT_EXIT(
      {
        for (unsigned int style : {0u, 1u, 3u, 4u, 12u, 128u, 129u}) {
          YdrMakeNumString(style, 1234, nullptr, decoration, 0);
          YdrMakeNumString(style, 1234, nullptr, decoration, 1);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
