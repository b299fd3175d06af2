// Numbering-style labels.
//
// Every style but decimal numbers from 1: a number below 1 gives an empty numeral. The
// single forms cycle through their set (A..Z, then A again); the extended forms grow
// instead, as bijective numerals (Z is followed by AA: there is no zero digit, so every
// string of letters is exactly one number), Roman thousands as repeated m, circled digits,
// or full number words with myriad groups. Nothing here is locale-dependent.
#include <cstdint>

#include "numstr/numbering_tables.h"
#include "ydr/numstr.h"

namespace ydr::numstr {
namespace {

constexpr Unit kFirstPrintable = 0x0020;

// Appends to the caller's buffer, which the caller sized (see the header).
class Writer {
 public:
  explicit Writer(Unit *out) : out_(out) {}
  void Put(Unit c) { *out_++ = c; }
  void PutReversed(const Unit *begin, const Unit *end) {
    while (end != begin) Put(*--end);
  }
  void Terminate() { *out_ = 0; }

 private:
  Unit *out_;
};

void WriteDecimal(std::int64_t value, Writer &out) {
  if (value < 0) out.Put('-');
  std::uint64_t magnitude = value < 0 ? static_cast<std::uint64_t>(-value) : static_cast<std::uint64_t>(value);
  Unit digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<Unit>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  out.PutReversed(digits, digits + n);
}

template <class CharAt>
void WriteSequence(int number, int k, bool extend, CharAt char_at, Writer &out) {
  if (!extend) {
    out.Put(char_at((number - 1) % k));
    return;
  }
  Unit letters[32];
  int n = 0;
  for (std::int64_t rest = number; rest != 0; rest = (rest - 1) / k)
    letters[n++] = char_at(static_cast<int>((rest - 1) % k));
  out.PutReversed(letters, letters + n);
}

void WriteRun(const CodePointRun &run, int number, bool extend, Writer &out) {
  WriteSequence(
      number, run.count, extend, [&](int i) { return static_cast<Unit>(run.first + i); }, out);
}

template <std::size_t N>
void WriteTable(const Unit (&table)[N], int number, bool extend, Writer &out) {
  WriteSequence(
      number, static_cast<int>(N), extend, [&](int i) { return table[i]; }, out);
}

void WriteCircledDigits(int number, Writer &out) {
  Unit digits[10];
  int n = 0;
  for (int rest = number; rest != 0; rest /= 10) digits[n++] = kCircledDigits[rest % 10];
  out.PutReversed(digits, digits + n);
}

// One decimal digit of a Roman numeral: its pattern over the letters for one, five and ten.
void WriteRomanDigit(int digit, Unit one, Unit five, Unit ten, Writer &out) {
  static constexpr const char *kPatterns[10] = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix"};
  for (const char *p = kPatterns[digit]; *p != '\0'; ++p) out.Put(*p == 'i' ? one : *p == 'v' ? five : ten);
}

void WriteRoman(int number, bool extend, bool upper, Writer &out) {
  const auto letter = [upper](char c) { return static_cast<Unit>(upper ? c - 'a' + 'A' : c); };
  int rest;
  if (extend) {
    for (int thousands = number / 1000; thousands > 0; --thousands) out.Put(letter('m'));
    rest = number % 1000;
  } else {
    rest = (number - 1) % 999 + 1;
  }
  WriteRomanDigit(rest / 100, letter('c'), letter('d'), letter('m'), out);
  WriteRomanDigit(rest / 10 % 10, letter('x'), letter('l'), letter('c'), out);
  WriteRomanDigit(rest % 10, letter('i'), letter('v'), letter('x'), out);
}

// One group of up to four digits. A digit of 1 is silent before its unit (십, not 일십);
// the ones digit 1 is written in the lowest group, and in a higher group unless the group
// is exactly 1, which is its unit alone (만, 십일만).
void WriteWordGroup(int group, int index, const NumberWords &words, Writer &out) {
  const int d3 = group / 1000, d2 = group / 100 % 10, d1 = group / 10 % 10, d0 = group % 10;
  const auto place = [&](int digit, Unit unit) {
    if (digit >= 2) out.Put(words.digits[digit]);
    if (digit >= 1) out.Put(unit);
  };
  place(d3, words.thousand);
  place(d2, words.hundred);
  place(d1, words.ten);
  if (d0 >= 2 || (d0 == 1 && (index == 0 || group != 1))) out.Put(words.digits[d0]);
  if (index > 0) out.Put(words.group_units[index]);
}

void WriteNumberWords(int number, bool extend, const NumberWords &words, Writer &out) {
  if (!extend) {
    const int m = (number - 1) % 99 + 1;
    const int tens = m / 10, ones = m % 10;
    if (tens >= 2) out.Put(words.digits[tens]);
    if (tens >= 1) out.Put(words.ten);
    if (ones >= 1) out.Put(words.digits[ones]);
    return;
  }
  const int groups[3] = {number % 10000, number / 10000 % 10000, number / 100000000};
  for (int index = 2; index >= 0; --index) {
    if (groups[index] != 0) WriteWordGroup(groups[index], index, words, out);
  }
}

void WriteRepeated(Unit symbol, int times, Writer &out) {
  for (int i = 0; i < times; ++i) out.Put(symbol);
}

void WriteNumeral(unsigned int style, int number, const Unit *decoration, bool extend, Writer &out) {
  if (style == YDR_NUM_DECIMAL) {
    WriteDecimal(number, out);
    return;
  }
  if (number < 1) return;
  switch (style) {
    case YDR_NUM_CIRCLED:
      if (extend) {
        WriteCircledDigits(number, out);
      } else {
        WriteRun(kCircledNumbers, number, false, out);
      }
      return;
    case YDR_NUM_ROMAN_UPPER: return WriteRoman(number, extend, true, out);
    case YDR_NUM_ROMAN_LOWER: return WriteRoman(number, extend, false, out);
    case YDR_NUM_LATIN_UPPER: return WriteRun(kLatinUpper, number, extend, out);
    case YDR_NUM_LATIN_LOWER: return WriteRun(kLatinLower, number, extend, out);
    case YDR_NUM_CIRCLED_LATIN_UPPER: return WriteRun(kCircledLatinUpper, number, extend, out);
    case YDR_NUM_CIRCLED_LATIN_LOWER: return WriteRun(kCircledLatinLower, number, extend, out);
    case YDR_NUM_KOREAN_SYLLABLE:
      return WriteSequence(
          number, 84, extend, [](int i) { return KoreanSyllable(i); }, out);
    case YDR_NUM_CIRCLED_KOREAN_SYLLABLE: return WriteRun(kCircledKoreanSyllables, number, extend, out);
    case YDR_NUM_KOREAN_CONSONANT: return WriteTable(kKoreanConsonants, number, extend, out);
    case YDR_NUM_CIRCLED_KOREAN_CONSONANT: return WriteRun(kCircledKoreanConsonants, number, extend, out);
    case YDR_NUM_KOREAN_WORDS: return WriteNumberWords(number, extend, kKoreanWords, out);
    case YDR_NUM_HANJA_WORDS: return WriteNumberWords(number, extend, kHanjaWords, out);
    case YDR_NUM_CIRCLED_IDEOGRAPH: return WriteRun(kCircledIdeographs, number, extend, out);
    case YDR_NUM_STEM_KOREAN: return WriteTable(kStemsKorean, number, extend, out);
    case YDR_NUM_STEM_HANJA: return WriteTable(kStemsHanja, number, extend, out);
    case YDR_NUM_FOOTNOTE: return WriteRepeated(kFootnoteSymbols[(number - 1) % 4], (number - 1) / 4 % 5 + 1, out);
    case YDR_NUM_REPEAT_SYMBOL:
      if (decoration != nullptr && decoration[0] >= kFirstPrintable) {
        WriteRepeated(decoration[0], (number - 1) % 5 + 1, out);
      }
      return;
    default: return WriteDecimal(number, out);
  }
}

}  // namespace
}  // namespace ydr::numstr

extern "C" YDR_API void YdrMakeNumString(unsigned int style, int number, unsigned short *output,
                                         const unsigned short *decoration, int extend) {
  using namespace ydr::numstr;
  if (output == nullptr) return;
  Writer out(output);
  if (decoration != nullptr && decoration[1] >= kFirstPrintable) out.Put(decoration[1]);
  WriteNumeral(style, number, decoration, extend != 0, out);
  if (decoration != nullptr && decoration[2] >= kFirstPrintable) out.Put(decoration[2]);
  out.Terminate();
}
