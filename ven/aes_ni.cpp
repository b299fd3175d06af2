// AES with the CPU's AES instructions. The engine's schedules hold each round key as four
// big-endian words; the instructions want the key bytes in memory order, so each word is
// byte-swapped on loading. The equivalent-inverse schedule is exactly what AESDEC expects.
#include <immintrin.h>

#include "platform/byte_order.h"
#include "platform/cpu_features.h"
#include "ven/aes_engine.h"

namespace ydr::ven {

// In aes_vaes.cpp.
template <bool encrypt>
void AesEcbWide(const std::uint32_t *schedule, int rounds, const std::uint8_t *in, std::uint8_t *out, std::size_t n);

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
YDR_AES_TARGET void Ecb(const std::uint32_t *schedule, int rounds, const std::uint8_t *in, std::uint8_t *out,
                        std::size_t n) {
  RoundKeys keys;
  LoadSchedule(schedule, rounds, &keys);
  switch (rounds) {
    case 10: EcbRounds<encrypt, 10>(keys, in, out, n); break;
    case 12: EcbRounds<encrypt, 12>(keys, in, out, n); break;
    default: EcbRounds<encrypt, 14>(keys, in, out, n); break;
  }
}

// The CFB-1 register is a big-endian 128-bit number; it is kept as two 64-bit halves in
// host order, and turned into the block (bytes in memory order) for each encryption.
YDR_AES_TARGET inline __m128i RegisterBlock(std::uint64_t high, std::uint64_t low) {
  const __m128i swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
  return _mm_shuffle_epi8(_mm_set_epi64x(static_cast<long long>(low), static_cast<long long>(high)), swap);
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
YDR_AES_TARGET void Cfb1Encrypt(const std::uint32_t *schedule, int rounds, std::uint8_t vector[16],
                                const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  RoundKeys keys;
  LoadSchedule(schedule, rounds, &keys);
  const __m128i top_bit = _mm_setr_epi8(static_cast<char>(0x80), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(vector));
  for (std::size_t b = 0; b < n; ++b, in += 16, out += 16) {
    for (int byte = 0; byte < 16; ++byte) {
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
  }
  _mm_storeu_si128(reinterpret_cast<__m128i *>(vector), x);
}

// Decryption: the register at every bit is known from the ciphertext in advance, so eight
// encryptions run side by side.
YDR_AES_TARGET void Cfb1Decrypt(const std::uint32_t *schedule, int rounds, std::uint8_t vector[16],
                                const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  RoundKeys keys;
  LoadSchedule(schedule, rounds, &keys);
  std::uint64_t high = platform::LoadBigEndian64(vector), low = platform::LoadBigEndian64(vector + 8);
  for (std::size_t b = 0; b < n; ++b, in += 16, out += 16) {
    for (int half = 0; half < 2; ++half) {
      const std::uint64_t data = platform::LoadBigEndian64(in + 8 * half);
      std::uint64_t result = 0;
      for (int k = 63; k >= 0; k -= 8) {
        __m128i s[8];
        for (int j = 0; j < 8; ++j) {
          s[j] = _mm_xor_si128(RegisterBlock(high, low), keys.k[0]);
          const std::uint64_t bit = (data >> (k - j)) & 1;
          high = high << 1 | low >> 63;
          low = low << 1 | bit;
        }
        for (int i = 1; i < rounds; ++i) {
          for (int j = 0; j < 8; ++j) s[j] = _mm_aesenc_si128(s[j], keys.k[i]);
        }
        for (int j = 0; j < 8; ++j) {
          const __m128i stream = _mm_aesenclast_si128(s[j], keys.k[rounds]);
          const std::uint64_t top = (static_cast<std::uint32_t>(_mm_cvtsi128_si32(stream)) >> 7) & 1;
          result |= (((data >> (k - j)) & 1) ^ top) << (k - j);
        }
      }
      platform::StoreBigEndian64(out + 8 * half, result);
    }
  }
  platform::StoreBigEndian64(vector, high);
  platform::StoreBigEndian64(vector + 8, low);
}

const AesFastPath kInstructions = {Ecb<true>, Ecb<false>, Cfb1Encrypt, Cfb1Decrypt};
// ECB on 512-bit registers where the CPU has them; CFB-1 gains nothing from width.
const AesFastPath kWideInstructions = {AesEcbWide<true>, AesEcbWide<false>, Cfb1Encrypt, Cfb1Decrypt};

}  // namespace

const AesFastPath *AesInstructions() {
  const platform::CpuFeatures &cpu = platform::GetCpuFeatures();
  if (cpu.vaes_avx512) return &kWideInstructions;
  return cpu.aes ? &kInstructions : nullptr;
}

const AesFastPath *AesInstructions128() { return platform::GetCpuFeatures().aes ? &kInstructions : nullptr; }

}  // namespace ydr::ven
