// AES with the CPU's AES instructions. The engine's schedules hold each round key as four
// big-endian words; the instructions want the key bytes in memory order, so each word is
// byte-swapped on loading. The equivalent-inverse schedule is exactly what AESDEC expects.
#include <immintrin.h>

#include "crypto/aes_engine.h"
#include "portable/byte_order.h"
#include "portable/cpu_features.h"

namespace ydr::crypto {

// In aes_vaes.cpp.
template <bool encrypt>
void AesEcbWide(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t n);

namespace {

#define YDR_AES_TARGET __attribute__((target("aes,sse4.1")))

struct RoundKeys {
  __m128i k[15];
  int rounds;
};

YDR_AES_TARGET inline void LoadSchedule(const std::uint32_t *schedule, int rounds, RoundKeys *keys) {
  const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  keys->rounds = rounds;
  for (int i = 0; i <= rounds; ++i) {
    keys->k[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(schedule + 4 * i)), swap);
  }
}

// Eight (or fewer) independent blocks through the rounds together, so the pipelined
// instructions stay busy.
// N independent blocks through the rounds together, so the pipelined instructions stay busy;
// the counts are constants so the blocks and keys stay in registers.
template <bool encrypt, int rounds, int N>
YDR_AES_TARGET inline void EcbGroup(const RoundKeys &keys, const std::uint8_t *in, std::uint8_t *out) {
  __m128i b[N];
#pragma GCC unroll 8
  for (int j = 0; j < N; ++j)
    b[j] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * j)), keys.k[0]);
#pragma GCC unroll 14
  for (int i = 1; i < rounds; ++i) {
    const __m128i k = keys.k[i];
#pragma GCC unroll 8
    for (int j = 0; j < N; ++j) b[j] = encrypt ? _mm_aesenc_si128(b[j], k) : _mm_aesdec_si128(b[j], k);
  }
#pragma GCC unroll 8
  for (int j = 0; j < N; ++j) {
    b[j] = encrypt ? _mm_aesenclast_si128(b[j], keys.k[rounds]) : _mm_aesdeclast_si128(b[j], keys.k[rounds]);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * j), b[j]);
  }
}

template <bool encrypt, int rounds>
YDR_AES_TARGET void EcbRounds(const RoundKeys &keys, const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  for (; n >= 8; n -= 8, in += 128, out += 128) EcbGroup<encrypt, rounds, 8>(keys, in, out);
  for (; n != 0; --n, in += 16, out += 16) EcbGroup<encrypt, rounds, 1>(keys, in, out);
}

template <bool encrypt>
YDR_AES_TARGET void Ecb(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  const auto *k = static_cast<const AesRounds *>(key);
  RoundKeys keys;
  LoadSchedule(k->schedule, k->rounds, &keys);
  switch (k->rounds) {
    case 10: EcbRounds<encrypt, 10>(keys, in, out, n); break;
    case 12: EcbRounds<encrypt, 12>(keys, in, out, n); break;
    default: EcbRounds<encrypt, 14>(keys, in, out, n); break;
  }
}

// The register shifted left by one bit as a big-endian 128-bit number, in memory order.
YDR_AES_TARGET inline __m128i ShiftLeftOne(__m128i x) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i r = _mm_shuffle_epi8(x, reverse);  // now a little-endian 128-bit number
  const __m128i shifted = _mm_or_si128(_mm_slli_epi64(r, 1), _mm_slli_si128(_mm_srli_epi64(r, 63), 8));
  return _mm_shuffle_epi8(shifted, reverse);
}

// Encryption: each bit's keystream needs the previous ciphertext bit, so the encryptions
// follow one another. Everything that does not need the newest bit (the shifted register,
// the first round key, the data bit) is prepared while the previous encryption runs, so only
// four simple instructions lie between one encryption and the next.
YDR_AES_TARGET void Cfb1Encrypt(const AesRounds &key, std::uint8_t vector[16], const std::uint8_t *in,
                                std::uint8_t *out, std::size_t bytes) {
  RoundKeys keys;
  LoadSchedule(key.schedule, key.rounds, &keys);
  const __m128i top_bit = _mm_setr_epi8(static_cast<char>(0x80), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(vector));
  for (std::size_t byte = 0; byte < bytes; ++byte) {
    unsigned result = 0;
    for (int k = 7; k >= 0; --k) {
      // The data bit, placed where the new bit enters the register (bit 0 of byte 15).
      const __m128i data = _mm_insert_epi8(_mm_setzero_si128(), (in[byte] >> k) & 1, 15);
      __m128i s = _mm_xor_si128(x, keys.k[0]);
      for (int i = 1; i < keys.rounds; ++i) s = _mm_aesenc_si128(s, keys.k[i]);
      s = _mm_aesenclast_si128(s, keys.k[keys.rounds]);
      const __m128i shifted = ShiftLeftOne(x);
      // The keystream's top bit moved from bit 7 of byte 0 to bit 0 of byte 15.
      const __m128i bit = _mm_srli_epi64(_mm_slli_si128(_mm_and_si128(s, top_bit), 15), 7);
      const __m128i cipher_bit = _mm_xor_si128(bit, data);
      x = _mm_xor_si128(shifted, cipher_bit);
      result |= (static_cast<unsigned>(_mm_extract_epi8(cipher_bit, 15)) & 1) << k;
    }
    out[byte] = static_cast<std::uint8_t>(result);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i *>(vector), x);
}

const AesFastPath kInstructions = {Ecb<true>, Ecb<false>, Cfb1Encrypt};
// Whole buffers on 512-bit registers where the CPU has them; CFB-1 encryption gains nothing
// from width.
const AesFastPath kWideInstructions = {AesEcbWide<true>, AesEcbWide<false>, Cfb1Encrypt};

}  // namespace

const AesFastPath *AesInstructions() {
  const portable::CpuFeatures &cpu = portable::GetCpuFeatures();
  if (cpu.vaes_avx512) return &kWideInstructions;
  return cpu.aes ? &kInstructions : nullptr;
}

const AesFastPath *AesInstructions128() { return portable::GetCpuFeatures().aes ? &kInstructions : nullptr; }

}  // namespace ydr::crypto
