// Number strings: the labels users see, the decorations, the number-below-1 rule, and the
// bounds of the output.
#include <gtest/gtest.h>

#include <climits>
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

TEST(NumStringTest, LabelsUsersRelyOn) {
  const Case cases[] = {
      {4, 1, false, "A"},
      {4, 26, false, "Z"},
      {4, 27, false, "A"},
      {4, 27, true, "AA"},
      {4, 52, true, "AZ"},
      {4, 53, true, "BA"},
      {4, 702, true, "ZZ"},
      {4, 703, true, "AAA"},
      {5, 28, true, "ab"},
      {6, 27, true, "ⒶⒶ"},
      {7, 2, false, "ⓑ"},
      {1, 20, false, "⑳"},
      {1, 21, false, "①"},
      {1, 10, true, "①Ⓞ"},
      {1, 20, true, "②Ⓞ"},
      {1, 100, true, "①ⓄⓄ"},
      {1, 123, true, "①②③"},
      {3, 888, false, "dccclxxxviii"},
      {3, 999, false, "cmxcix"},
      {3, 1000, false, "i"},
      {3, 1000, true, "m"},
      {3, 1001, true, "mi"},
      {3, 3999, true, "mmmcmxcix"},
      {3, 10000, true, "mmmmmmmmmm"},
      {2, 3999, true, "MMMCMXCIX"},
      {2, 1994, false, "CMXCV"},  // 1994 - 999 = 995
      {8, 14, false, "하"},
      {8, 15, false, "거"},
      {8, 84, false, "히"},
      {8, 85, false, "가"},
      {8, 85, true, "가가"},
      {9, 1, false, "㉮"},
      {9, 15, true, "㉮㉮"},
      {10, 14, false, "ㅎ"},
      {11, 2, false, "㉡"},
      {12, 10, false, "십"},
      {12, 11, false, "십일"},
      {12, 20, false, "이십"},
      {12, 99, false, "구십구"},
      {12, 100, false, "일"},
      {12, 1111, true, "천백십일"},
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
      {13, 1111, true, "千百十一"},
      {13, 10000, true, "萬"},
      {13, 6, false, "\xEF\xA7\x91"},  // U+F9D1
      {14, 10, false, "㊉"},
      {14, 11, true, "㊀㊀"},
      {15, 1, false, "갑"},
      {15, 10, false, "계"},
      {16, 11, false, "甲"},
      {16, 11, true, "甲甲"},
      {128, 4, false, "§"},
      {128, 5, false, "**"},
      {128, 20, false, "§§§§§"},
      {128, 21, false, "*"},
      {128, 6, true, "††"},
      {0, -5, false, "-5"},
      {0, 0, false, "0"},
      {0, INT_MIN, false, "-2147483648"},
      {0, INT_MAX, true, "2147483647"},
      {17, -5, false, ""},
      {17, 42, false, "42"},
      {127, 7, true, "7"},
      {130, 0, false, ""},
      {0xFFFFFFFFu, 9, false, "9"},
      {4, 0, false, ""},
      {12, -1, true, ""},
      {129, 3, false, ""},  // 129 with no decoration
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

TEST(NumStringTest, NullOutputIsIgnored) { YdrMakeNumString(4, 1, nullptr, nullptr, 0); }

}  // namespace
