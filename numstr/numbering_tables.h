// The characters of the numbering styles.
#pragma once

#include <cstdint>

namespace ydr::numstr {

using Unit = unsigned short;

// A style drawn from consecutive code points.
struct CodePointRun {
  Unit first;
  int count;
};

inline constexpr CodePointRun kCircledNumbers = {0x2460, 20};           // ① .. ⑳
inline constexpr CodePointRun kLatinUpper = {0x0041, 26};               // A .. Z
inline constexpr CodePointRun kLatinLower = {0x0061, 26};               // a .. z
inline constexpr CodePointRun kCircledLatinUpper = {0x24B6, 26};        // Ⓐ .. Ⓩ
inline constexpr CodePointRun kCircledLatinLower = {0x24D0, 26};        // ⓐ .. ⓩ
inline constexpr CodePointRun kCircledKoreanSyllables = {0x326E, 14};   // ㉮ .. ㉻
inline constexpr CodePointRun kCircledKoreanConsonants = {0x3260, 14};  // ㉠ .. ㉭
inline constexpr CodePointRun kCircledIdeographs = {0x3280, 10};        // ㊀ .. ㊉

// Circled decimal digits; zero is the circled capital letter O.
inline constexpr Unit kCircledDigits[10] = {0x24C4, 0x2460, 0x2461, 0x2462, 0x2463,
                                            0x2464, 0x2465, 0x2466, 0x2467, 0x2468};

// The 14 initial consonants ㄱ ㄴ ㄷ ㄹ ㅁ ㅂ ㅅ ㅇ ㅈ ㅊ ㅋ ㅌ ㅍ ㅎ as indices into the 19
// initial consonants of precomposed Hangul, and the six vowels ㅏ ㅓ ㅗ ㅜ ㅡ ㅣ as indices
// into its 21 vowels. Syllable = U+AC00 + (initial * 21 + vowel) * 28.
inline constexpr int kSyllableInitials[14] = {0, 2, 3, 5, 6, 7, 9, 11, 12, 14, 15, 16, 17, 18};
inline constexpr int kSyllableVowels[6] = {0, 4, 8, 13, 18, 20};

constexpr Unit KoreanSyllable(int index) {  // index 0 .. 83: 가 나 .. 하, 거 .. 허, .. 기 .. 히
  return static_cast<Unit>(0xAC00 + (kSyllableInitials[index % 14] * 21 + kSyllableVowels[index / 14]) * 28);
}
static_assert(KoreanSyllable(0) == 0xAC00 && KoreanSyllable(13) == 0xD558 && KoreanSyllable(14) == 0xAC70 &&
                  KoreanSyllable(83) == 0xD788,
              "가, 하, 거, 히");

inline constexpr Unit kKoreanConsonants[14] = {0x3131, 0x3134, 0x3137, 0x3139, 0x3141, 0x3142, 0x3145,
                                               0x3147, 0x3148, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E};

inline constexpr Unit kStemsKorean[10] = {0xAC11, 0xC744, 0xBCD1, 0xC815, 0xBB34,
                                          0xAE30, 0xACBD, 0xC2E0, 0xC784, 0xACC4};
inline constexpr Unit kStemsHanja[10] = {0x7532, 0x4E59, 0x4E19, 0x4E01, 0x620A,
                                         0x5DF1, 0x5E9A, 0x8F9B, 0x58EC, 0x7678};

inline constexpr Unit kFootnoteSymbols[4] = {0x002A, 0x2020, 0x2021, 0x00A7};  // * † ‡ §

struct NumberWords {
  Unit digits[10];  // [1] .. [9]
  Unit ten;
  Unit hundred;
  Unit thousand;
  Unit group_units[3];  // none, ten thousand, a hundred million
};

inline constexpr NumberWords kKoreanWords = {
    {0, 0xC77C, 0xC774, 0xC0BC, 0xC0AC, 0xC624, 0xC721, 0xCE60, 0xD314, 0xAD6C},
    0xC2ED,
    0xBC31,
    0xCC9C,
    {0, 0xB9CC, 0xC5B5}};
// Six is the compatibility ideograph U+F9D1, which the suite's documents hold for it.
inline constexpr NumberWords kHanjaWords = {{0, 0x4E00, 0x4E8C, 0x4E09, 0x56DB, 0x4E94, 0xF9D1, 0x4E03, 0x516B, 0x4E5D},
                                            0x5341,
                                            0x767E,
                                            0x5343,
                                            {0, 0x842C, 0x5104}};

}  // namespace ydr::numstr
