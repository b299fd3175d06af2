// Prints the labels of a numbered list in a few numbering styles, side by side: the label
// comes back as UTF-16 text, converted here to UTF-8 for the terminal.
//
//   number_labels FIRST LAST
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ydr/numstr.h"
#include "ydr/utf8.h"

namespace {

// A label in the growing form, between the given opening and closing characters (0: none).
std::string Label(unsigned style, int number, unsigned short open, unsigned short close) {
  const unsigned short decoration[3] = {0, open, close};
  // 22 units hold every label but the growing Roman form, which adds one unit a thousand.
  std::basic_string<unsigned short> text(22 + static_cast<std::size_t>(number > 0 ? number : 0) / 1000, 0);
  YdrMakeNumString(style, number, text.data(), decoration, 1);
  return ydr::Utf8FromUtf16(text.c_str());
}

}  // namespace

int main(int argc, char **argv) {
  const int first = argc == 3 ? std::atoi(argv[1]) : 0;
  const int last = argc == 3 ? std::atoi(argv[2]) : 0;
  if (argc != 3 || first < 1 || last < first || last > 1000000) {
    std::fprintf(stderr, "usage: %s FIRST LAST   (1 <= FIRST <= LAST <= 1000000)\n", argv[0]);
    return 2;
  }
  for (int n = first; n <= last; ++n) {
    std::printf("%s\t%s\t%s\t%s\t%s\n", Label(YDR_NUM_DECIMAL, n, 0, '.').c_str(),
                Label(YDR_NUM_ROMAN_UPPER, n, 0, 0).c_str(), Label(YDR_NUM_LATIN_LOWER, n, '(', ')').c_str(),
                Label(YDR_NUM_KOREAN_SYLLABLE, n, 0, '.').c_str(), Label(YDR_NUM_FOOTNOTE, n, 0, 0).c_str());
  }
  return 0;
}
