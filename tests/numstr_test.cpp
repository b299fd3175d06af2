// Number strings: the labels users see, the decorations, the number-below-1 rule, and the
// bounds of the output.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/utf16.h"
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
  return ydr::platform::Utf8FromWide(out.data());
}

// Known labels the independent computation of numstr_reference_test.cpp does not reach: past
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
    const std::size_t units = ydr::platform::WideFromUtf8(label).size() + 1;
    ydr::test::GuardedBuffer<unsigned short> out(units);
    YdrMakeNumString(c.style, c.number, out.data(), decoration, c.extend);
    EXPECT_EQ(out[units - 1], 0);
    EXPECT_EQ(ydr::platform::Utf8FromWide(out.data()), label);
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
