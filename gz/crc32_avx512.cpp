// CRC-32 by carry-less multiplication on 512-bit registers (VPCLMULQDQ with AVX-512): four
// registers, sixteen 16-byte lanes, are folded forward 256 bytes at a time; they are then
// folded into one register, its four lanes into one, and the 128-bit path finishes.
#include <immintrin.h>

#include "gz/crc32.h"
#include "gz/crc32_fold_constants.h"

namespace ydr::gz {

std::uint32_t Crc32Reduce128(__m128i x);  // crc32_pclmul.cpp

namespace {

using namespace crc32_constants;

#define YDR_AVX512_TARGET __attribute__((target("vpclmulqdq,avx512f,avx512vl,avx512bw,pclmul,sse4.1")))

YDR_AVX512_TARGET inline __m512i Fold(__m512i x, __m512i k, __m512i next) {
  const __m512i low = _mm512_clmulepi64_epi128(x, k, 0x00);
  const __m512i high = _mm512_clmulepi64_epi128(x, k, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // three-way xor
}

YDR_AVX512_TARGET inline __m512i Load(const std::uint8_t *p) { return _mm512_loadu_si512(p); }

YDR_AVX512_TARGET inline __m512i Broadcast(const std::uint64_t (&k)[2]) {
  const auto lo = static_cast<long long>(k[0]);
  const auto hi = static_cast<long long>(k[1]);
  return _mm512_set_epi64(hi, lo, hi, lo, hi, lo, hi, lo);
}

YDR_AVX512_TARGET inline __m128i Fold128(__m128i x, const std::uint64_t (&k)[2], __m128i next) {
  const __m128i kk = _mm_set_epi64x(static_cast<long long>(k[1]), static_cast<long long>(k[0]));
  const __m128i low = _mm_clmulepi64_si128(x, kk, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, kk, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

}  // namespace

YDR_AVX512_TARGET std::uint32_t Crc32Update_avx512(std::uint32_t reg, const std::uint8_t *data, std::size_t size) {
  if (size < 256) return Crc32Update_pclmul(reg, data, size);
  __m512i x0 = _mm512_xor_si512(Load(data), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i x1 = Load(data + 64), x2 = Load(data + 128), x3 = Load(data + 192);
  data += 256;
  size -= 256;
  const __m512i k2048 = Broadcast(kFold2048);
  while (size >= 256) {
    x0 = Fold(x0, k2048, Load(data));
    x1 = Fold(x1, k2048, Load(data + 64));
    x2 = Fold(x2, k2048, Load(data + 128));
    x3 = Fold(x3, k2048, Load(data + 192));
    data += 256;
    size -= 256;
  }
  const __m512i k512 = Broadcast(kFold512);
  x0 = Fold(x0, k512, x1);
  x0 = Fold(x0, k512, x2);
  x0 = Fold(x0, k512, x3);
  while (size >= 64) {
    x0 = Fold(x0, k512, Load(data));
    data += 64;
    size -= 64;
  }
  // Four lanes to one: the earliest lane travels furthest.
  alignas(64) std::uint8_t lanes[64];
  _mm512_store_si512(lanes, x0);
  const auto lane_at = [&lanes](int i) { return _mm_load_si128(reinterpret_cast<const __m128i *>(lanes + 16 * i)); };
  __m128i lane = lane_at(0);
  lane = Fold128(lane, kFold128, lane_at(1));
  lane = Fold128(lane, kFold128, lane_at(2));
  lane = Fold128(lane, kFold128, lane_at(3));
  while (size >= 16) {
    lane = Fold128(lane, kFold128, _mm_loadu_si128(reinterpret_cast<const __m128i *>(data)));
    data += 16;
    size -= 16;
  }
  return Crc32Update_generic(Crc32Reduce128(lane), data, size);
}

}  // namespace ydr::gz
