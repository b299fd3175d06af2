/* Number strings: list, outline and footnote labels.
 *
 * YdrMakeNumString renders `number` in a numbering style as zero-terminated UTF-16 text:
 * [opening] numeral [closing]. It keeps no state and may be called from any thread, each
 * call with its own output buffer. */
#ifndef YDR_NUMSTR_H
#define YDR_NUMSTR_H

#include "ydr/api.h"

/* Style codes. Any other code renders in decimal. */
enum {
  YDR_NUM_DECIMAL = 0,     /* 1 2 3 ... (also zero and negative numbers) */
  YDR_NUM_CIRCLED = 1,     /* circled 1..20; extended: every digit circled */
  YDR_NUM_ROMAN_UPPER = 2, /* I II III ... */
  YDR_NUM_ROMAN_LOWER = 3, /* i ii iii ... */
  YDR_NUM_LATIN_UPPER = 4, /* A B C ...; extended: AA AB ... */
  YDR_NUM_LATIN_LOWER = 5, /* a b c ... */
  YDR_NUM_CIRCLED_LATIN_UPPER = 6,
  YDR_NUM_CIRCLED_LATIN_LOWER = 7,
  YDR_NUM_KOREAN_SYLLABLE = 8, /* ga na da ... (84 syllables) */
  YDR_NUM_CIRCLED_KOREAN_SYLLABLE = 9,
  YDR_NUM_KOREAN_CONSONANT = 10,
  YDR_NUM_CIRCLED_KOREAN_CONSONANT = 11,
  YDR_NUM_KOREAN_WORDS = 12, /* Korean number words */
  YDR_NUM_HANJA_WORDS = 13,  /* Sino-Korean (Hanja) number words */
  YDR_NUM_CIRCLED_IDEOGRAPH = 14,
  YDR_NUM_STEM_KOREAN = 15, /* the ten heavenly stems */
  YDR_NUM_STEM_HANJA = 16,
  YDR_NUM_FOOTNOTE = 128,     /* * dagger double-dagger section, then doubled ... */
  YDR_NUM_REPEAT_SYMBOL = 129 /* decoration[0] repeated 1..5 times */
};

YDR_EXTERN_C_BEGIN

/* style:      a style code above.
 * number:     the value; below 1 every style but decimal gives an empty numeral.
 * output:     receives the label and its terminator. No size is passed: 22 units always
 *             suffice, except for the extended Roman form, which needs number / 1000 units
 *             more (one 'm' per thousand). Null: nothing is written.
 * decoration: null, or three units: [0] the symbol style 129 repeats, [1] an opening and
 *             [2] a closing character; a unit below U+0020 means none.
 * extend:     non-zero selects the extended form (labels grow instead of cycling). */
YDR_API void YdrMakeNumString(unsigned int style, int number, unsigned short *output, const unsigned short *decoration,
                              int extend);

YDR_EXTERN_C_END

#endif /* YDR_NUMSTR_H */
