// AES on whole buffers with the AES instructions on 512-bit registers: four blocks per
// instruction, up to four registers side by side. Compiled for those instructions only here; the caller checks
// the CPU first.
#include <immintrin.h>

#include "crypto/aes_engine.h"

namespace ydr::crypto {
namespace {

#define YDR_VAES_TARGET __attribute__((target("vaes,avx512f,aes,sse4.1")))

// G registers of four blocks each through the rounds together, so the pipelined
// instructions stay busy.
template <bool encrypt, int rounds, int G>
YDR_VAES_TARGET inline void Group(const __m512i *k, const std::uint8_t *in, std::uint8_t *out) {
  __m512i b[G];
#pragma GCC unroll 4
  for (int j = 0; j < G; ++j) b[j] = _mm512_xor_si512(_mm512_loadu_si512(in + 64 * j), k[0]);
#pragma GCC unroll 14
  for (int i = 1; i < rounds; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) b[j] = encrypt ? _mm512_aesenc_epi128(b[j], k[i]) : _mm512_aesdec_epi128(b[j], k[i]);
  }
#pragma GCC unroll 4
  for (int j = 0; j < G; ++j) {
    b[j] = encrypt ? _mm512_aesenclast_epi128(b[j], k[rounds]) : _mm512_aesdeclast_epi128(b[j], k[rounds]);
    _mm512_storeu_si512(out + 64 * j, b[j]);
  }
}

template <bool encrypt, int rounds>
YDR_VAES_TARGET void Run(const std::uint32_t *schedule, const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  __m512i k[rounds + 1];
  __m128i k1[rounds + 1];
#pragma GCC unroll 15
  for (int i = 0; i <= rounds; ++i) {
    k1[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(schedule + 4 * i)), swap);
    k[i] = _mm512_maskz_broadcast_i32x4(0xFFFF, k1[i]);
  }
  for (; n >= 16; n -= 16, in += 256, out += 256) Group<encrypt, rounds, 4>(k, in, out);
  if (n >= 8) {
    Group<encrypt, rounds, 2>(k, in, out);
    n -= 8, in += 128, out += 128;
  }
  if (n >= 4) {
    Group<encrypt, rounds, 1>(k, in, out);
    n -= 4, in += 64, out += 64;
  }
  for (; n != 0; --n, in += 16, out += 16) {  // the last blocks one by one
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in)), k1[0]);
#pragma GCC unroll 14
    for (int i = 1; i < rounds; ++i) b = encrypt ? _mm_aesenc_si128(b, k1[i]) : _mm_aesdec_si128(b, k1[i]);
    b = encrypt ? _mm_aesenclast_si128(b, k1[rounds]) : _mm_aesdeclast_si128(b, k1[rounds]);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), b);
  }
}

}  // namespace

template <bool encrypt>
YDR_VAES_TARGET void AesEcbWide(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  const auto *k = static_cast<const AesRounds *>(key);
  switch (k->rounds) {
    case 10: Run<encrypt, 10>(k->schedule, in, out, n); break;
    case 12: Run<encrypt, 12>(k->schedule, in, out, n); break;
    default: Run<encrypt, 14>(k->schedule, in, out, n); break;
  }
}

template void AesEcbWide<true>(const void *, const std::uint8_t *, std::uint8_t *, std::size_t);
template void AesEcbWide<false>(const void *, const std::uint8_t *, std::uint8_t *, std::size_t);

}  // namespace ydr::crypto
