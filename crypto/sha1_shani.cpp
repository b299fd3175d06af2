// SHA-1 compression with the SHA extensions (SHA1RNDS4 does four rounds; SHA1MSG1/SHA1MSG2
// extend the message schedule four words at a time). Compiled for those instructions only
// here; the caller checks the CPU first.
#include <immintrin.h>

#include <utility>

#include "crypto/sha1_blocks.h"

namespace ydr::crypto {
namespace {

#define YDR_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

struct State {
  __m128i abcd, e0, e1;
  __m128i msg[4];
};

// Rounds 4g to 4g+3. The message words of group g are msg[g % 4]; the groups before it have
// already prepared them, and this group prepares those of the groups after it.
template <int g>
YDR_SHA_TARGET inline void Group(State &s) {
  constexpr int f = g / 5;  // round function and constant
  __m128i &m = s.msg[g % 4];
  if constexpr (g == 0) {
    s.e0 = _mm_add_epi32(s.e0, m);
    s.e1 = s.abcd;
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, s.e0, f);
  } else if constexpr (g % 2 == 1) {
    s.e1 = _mm_sha1nexte_epu32(s.e1, m);
    s.e0 = s.abcd;
    if constexpr (g >= 3 && g <= 18) s.msg[(g + 1) % 4] = _mm_sha1msg2_epu32(s.msg[(g + 1) % 4], m);
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, s.e1, f);
  } else {
    s.e0 = _mm_sha1nexte_epu32(s.e0, m);
    s.e1 = s.abcd;
    if constexpr (g >= 3 && g <= 18) s.msg[(g + 1) % 4] = _mm_sha1msg2_epu32(s.msg[(g + 1) % 4], m);
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, s.e0, f);
  }
  if constexpr (g >= 1 && g <= 16) s.msg[(g + 3) % 4] = _mm_sha1msg1_epu32(s.msg[(g + 3) % 4], m);
  if constexpr (g >= 2 && g <= 17) s.msg[(g + 2) % 4] = _mm_xor_si128(s.msg[(g + 2) % 4], m);
}

template <int... g>
YDR_SHA_TARGET inline void Groups(State &s, std::integer_sequence<int, g...>) {
  (Group<g>(s), ...);
}

}  // namespace

YDR_SHA_TARGET void Sha1Blocks_shani(unsigned int chain[5], const unsigned char *blocks, std::size_t count) {
  const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  State s;
  // SHA1RNDS4 keeps A in the highest lane, so the chaining words go in reversed.
  s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(chain)), 0x1B);
  __m128i e = _mm_set_epi32(static_cast<int>(chain[4]), 0, 0, 0);
  for (; count != 0; --count, blocks += 64) {
    const __m128i abcd_before = s.abcd;
    const __m128i e_before = e;
    for (int i = 0; i < 4; ++i) {
      s.msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(blocks + 16 * i)), byte_swap);
    }
    s.e0 = e;
    Groups(s, std::make_integer_sequence<int, 20>{});
    // Group 19 left the pre-round A of its rounds in e0, from which SHA1NEXTE derives E.
    e = _mm_sha1nexte_epu32(s.e0, e_before);
    s.abcd = _mm_add_epi32(s.abcd, abcd_before);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i *>(chain), _mm_shuffle_epi32(s.abcd, 0x1B));
  chain[4] = static_cast<unsigned int>(_mm_extract_epi32(e, 3));
}

}  // namespace ydr::crypto
