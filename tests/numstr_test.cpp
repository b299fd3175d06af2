// Number strings: every style against labels computed here from the styles' descriptions, then what that misses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include "portable/utf16.h"
#include "ydr/numstr.h"

namespace {

using Chars = std::vector<std::string>;  // one UTF-8 character per element

// The label, checked to fit the units the header promises, to leave the rest of the buffer and to survive null.
std::string Label(unsigned int style, int number, bool extend, const unsigned short *decoration = nullptr) {
  const int thousands = (style == 2 || style == 3) && extend && number > 0 ? number / 1000 : 0;
  std::vector<unsigned short> out(64 + thousands, 0xBEEF);
  YdrMakeNumString(style, number, out.data(), decoration, extend ? 1 : 0);
  YdrMakeNumString(style, number, nullptr, decoration, extend ? 1 : 0);
  const auto end = std::find(out.begin(), out.end(), 0) + 1;
  EXPECT_LE(end - out.begin(), 22 + thousands);
  EXPECT_TRUE(std::all_of(end, out.end(), [](unsigned short unit) { return unit == 0xBEEF; }));
  return ydr::portable::Utf8FromWide(out.data());
}

Chars Split(const std::string &utf8) {
  Chars chars;
  for (unsigned short unit : ydr::portable::WideFromUtf8(utf8)) chars.push_back(ydr::portable::Utf8FromWide(&unit, 1));
  return chars;
}

// Labels 1..limit of a bijective numeral over `set`, counted up like an odometer.
std::vector<std::string> CountBijective(const Chars &set, int limit) {
  std::vector<std::string> labels;
  std::vector<std::size_t> digits = {0};
  for (int n = 1; n <= limit; ++n) {
    labels.emplace_back();
    for (std::size_t d : digits) labels.back() += set[d];
    std::size_t i = digits.size();
    while (i > 0 && ++digits[i - 1] == set.size()) digits[--i] = 0;
    if (i == 0) digits.insert(digits.begin(), 0);
  }
  return labels;
}

std::string GreedyRoman(int value, bool upper) {
  static const int kAmounts[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
  static const char *const kSymbols[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
  std::string out;
  for (std::size_t i = 0; i < std::size(kAmounts); ++i) {
    for (; value >= kAmounts[i]; value -= kAmounts[i]) out += kSymbols[i];
  }
  for (char &c : out) c = static_cast<char>(upper ? std::toupper(c) : c);
  return out;
}

// Number words read off the decimal digits: w[0] one to nine, w[1] ten, hundred, thousand, w[2] 10^4, 10^8.
std::string Words(int number, const Chars (&w)[3]) {
  std::string text;
  for (int level = 2, scale = 100000000; level >= 0; --level, scale /= 10000) {
    const int group = number / scale % 10000;
    for (int pos = 3, unit = 1000; pos >= 0; --pos, unit /= 10) {
      const int d = group / unit % 10;
      // One is said in the units only, and not before a lone 10^4 or 10^8.
      if (d > 1 || (d == 1 && pos == 0 && (level == 0 || group != 1))) text += w[0][d - 1];
      if (d != 0 && pos > 0) text += w[1][pos - 1];
    }
    if (group != 0 && level > 0) text += w[2][level - 1];
  }
  return text;
}

constexpr int kLimit = 2000;

TEST(NumStringReferenceTest, EveryStyleFollowsItsRules) {
  const std::pair<unsigned int, Chars> sequences[] = {
      {4, Split("ABCDEFGHIJKLMNOPQRSTUVWXYZ")},
      {5, Split("abcdefghijklmnopqrstuvwxyz")},
      {6, Split("ⒶⒷⒸⒹⒺⒻⒼⒽⒾⒿⓀⓁⓂⓃⓄⓅⓆⓇⓈⓉⓊⓋⓌⓍⓎⓏ")},
      {7, Split("ⓐⓑⓒⓓⓔⓕⓖⓗⓘⓙⓚⓛⓜⓝⓞⓟⓠⓡⓢⓣⓤⓥⓦⓧⓨⓩ")},
      {8, Split("가나다라마바사아자차카타파하거너더러머버서어저처커터퍼허고노도로모보소오조초코토포호"
                "구누두루무부수우주추쿠투푸후그느드르므브스으즈츠크트프흐기니디리미비시이지치키티피히")},
      {9, Split("㉮㉯㉰㉱㉲㉳㉴㉵㉶㉷㉸㉹㉺㉻")},
      {10, Split("ㄱㄴㄷㄹㅁㅂㅅㅇㅈㅊㅋㅌㅍㅎ")},
      {11, Split("㉠㉡㉢㉣㉤㉥㉦㉧㉨㉩㉪㉫㉬㉭")},
      {14, Split("㊀㊁㊂㊃㊄㊅㊆㊇㊈㊉")},
      {15, Split("갑을병정무기경신임계")},
      {16, Split("甲乙丙丁戊己庚辛壬癸")},
  };
  std::vector<std::vector<std::string>> extended;  // each sequence's labels 1..kLimit, counted
  for (const auto &sequence : sequences) extended.push_back(CountBijective(sequence.second, kLimit));
  const Chars circled = Split("①②③④⑤⑥⑦⑧⑨⑩⑪⑫⑬⑭⑮⑯⑰⑱⑲⑳"), circled_digits = Split("Ⓞ①②③④⑤⑥⑦⑧⑨"), footnotes = Split("*†‡§");
  const Chars korean[3] = {Split("일이삼사오육칠팔구"), Split("십백천"), Split("만억")};
  const Chars hanja[3] = {Split("一二三四五\xEF\xA7\x91七八九"), Split("十百千"), Split("萬億")};  // six: U+F9D1
  const unsigned short bullet[3] = {0x2022, 0, 0};
  for (int n = -kLimit; n <= kLimit; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(Label(0, n, n % 2 == 0), std::to_string(n));
    for (unsigned int style : {17u, 100u, 127u, 130u, 1000u, 0xFFFFFFFFu}) {  // unknown: decimal, nothing below 1
      ASSERT_EQ(Label(style, n, n % 2 == 0), n < 1 ? std::string() : std::to_string(n)) << style;
    }
    if (n < 1) {  // every other style: an empty numeral
      for (unsigned int style = 1; style <= 129; ++style) ASSERT_EQ(Label(style, n, n % 2 == 0, bullet), "") << style;
      continue;
    }
    for (std::size_t i = 0; i < std::size(sequences); ++i) {
      const auto &[style, set] = sequences[i];
      ASSERT_EQ(Label(style, n, false), set[static_cast<std::size_t>(n - 1) % set.size()]) << style;
      ASSERT_EQ(Label(style, n, true), extended[i][static_cast<std::size_t>(n - 1)]) << style;
    }
    std::string digits, footnote, repeated;
    for (char c : std::to_string(n)) digits += circled_digits[static_cast<std::size_t>(c - '0')];
    for (int i = 0; i < (n - 1) / 4 % 5 + 1; ++i) footnote += footnotes[static_cast<std::size_t>(n - 1) % 4];
    for (int i = 0; i < (n - 1) % 5 + 1; ++i) repeated += "•";
    for (bool extend : {false, true}) {
      const int roman = extend ? n : (n - 1) % 999 + 1;  // thousands are m's either way
      ASSERT_EQ(Label(1, n, extend), extend ? digits : circled[static_cast<std::size_t>(n - 1) % 20]);
      ASSERT_EQ(Label(2, n, extend), GreedyRoman(roman, true));
      ASSERT_EQ(Label(3, n, extend), GreedyRoman(roman, false));
      ASSERT_EQ(Label(12, n, extend), Words(extend ? n : (n - 1) % 99 + 1, korean));
      ASSERT_EQ(Label(13, n, extend), Words(extend ? n : (n - 1) % 99 + 1, hanja));
      ASSERT_EQ(Label(128, n, extend), footnote);
      ASSERT_EQ(Label(129, n, extend, bullet), repeated);
    }
  }
  // Past the range: the myriad groups sampled across the whole range, and their edges.
  std::vector<int> beyond = {3999, 10000, 10001, 20000, 110000, 1010000, 100000000, 123456789, 2000000000, INT_MAX};
  for (long long n = 1; n <= 2000000000; n = n * 7 + 3) beyond.push_back(static_cast<int>(n));
  for (int n : beyond) {
    ASSERT_EQ(Label(12, n, true), Words(n, korean)) << n;
    ASSERT_EQ(Label(13, n, true), Words(n, hanja)) << n;
    if (n <= 30000) {
      ASSERT_EQ(Label(2, n, true), GreedyRoman(n, true)) << n;  // one 'm' per thousand
    }
  }
}

// Known labels the computation above does not reach: the extreme values, and decorations.
TEST(NumStringTest, KnownLabelsAndDecorations) {
  struct Case {
    unsigned int style;
    int number;
    bool extend;
    const char *expected;
    const char16_t *decoration = nullptr;
  };
  const Case cases[] = {
      {129, 3, false, ""},
      {12, 10000, true, "만"},
      {12, 110000, true, "십일만"},
      {12, INT_MAX, true, "(이십일억사천칠백사십팔만삼천육백사십칠)", u"\0()"},  // the longest label
      {0, INT_MIN, false, "-2147483648"},
      {1, INT_MAX, true, "②①④⑦④⑧③⑥④⑦"},
      {8, INT_MAX, true, "구카너수구"},
      {4, 0, false, "()", u"\0()"},    // an empty numeral keeps its frame
      {2, 4, false, "aIVb", u"\0ab"},  // decorations are never upper-cased
      {129, 5, false, "[-----]", u"-[]"},
      {129, 6, false, "[]", u"\x1F[]"},         // below U+0020: no symbol
      {0, 3, false, "3 ", u"\x1F\x1F "},        // U+001F is absent, U+0020 is a character
      {0, 3, false, "\uFFFF3", u"\0\xFFFF\0"},  // U+FFFF is a character
      {0, -7, false, "<-7>", u"x<>"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.style) + " " + std::to_string(c.number) + (c.extend ? " extended" : ""));
    EXPECT_EQ(Label(c.style, c.number, c.extend, reinterpret_cast<const unsigned short *>(c.decoration)), c.expected);
  }
}

}  // namespace
