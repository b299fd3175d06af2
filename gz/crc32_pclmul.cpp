// CRC-32 by carry-less multiplication on 128-bit registers: four 16-byte lanes are folded
// forward 64 bytes at a time, then folded into one, reduced to 64 bits and by Barrett
// reduction to the 32-bit register. Compiled for PCLMULQDQ and SSE4.1; called only on CPUs
// that have them.
#include <immintrin.h>

#include "gz/crc32.h"
#include "gz/crc32_fold_constants.h"

namespace ydr::gz {
namespace {

using namespace crc32_constants;

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const std::uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Constants(const std::uint64_t (&k)[2]) {
  return _mm_set_epi64x(static_cast<long long>(k[1]), static_cast<long long>(k[0]));
}

}  // namespace

// Reduces a 128-bit remainder to the 32-bit register.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t Crc32Reduce128(__m128i x) {
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  // 128 to 64 bits.
  __m128i t = _mm_clmulepi64_si128(x, Constants(kFold128), 0x10);
  x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
  t = _mm_srli_si128(x, 4);
  x = _mm_and_si128(x, mask32);
  x = _mm_clmulepi64_si128(x, _mm_set_epi64x(0, static_cast<long long>(kFold64)), 0x00);
  x = _mm_xor_si128(x, t);
  // Barrett reduction to 32 bits.
  const __m128i barrett = Constants(kBarrett);
  t = _mm_and_si128(x, mask32);
  t = _mm_clmulepi64_si128(t, barrett, 0x10);
  t = _mm_and_si128(t, mask32);
  t = _mm_clmulepi64_si128(t, barrett, 0x00);
  x = _mm_xor_si128(x, t);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t Crc32Update_pclmul(std::uint32_t reg, const std::uint8_t *data,
                                                                          std::size_t size) {
  if (size < 64) return Crc32Update_generic(reg, data, size);
  __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load(data + 16), x2 = Load(data + 32), x3 = Load(data + 48);
  data += 64;
  size -= 64;
  const __m128i k512 = Constants(kFold512);
  while (size >= 64) {
    x0 = Fold(x0, k512, Load(data));
    x1 = Fold(x1, k512, Load(data + 16));
    x2 = Fold(x2, k512, Load(data + 32));
    x3 = Fold(x3, k512, Load(data + 48));
    data += 64;
    size -= 64;
  }
  const __m128i k128 = Constants(kFold128);
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  while (size >= 16) {
    x0 = Fold(x0, k128, Load(data));
    data += 16;
    size -= 16;
  }
  return Crc32Update_generic(Crc32Reduce128(x0), data, size);
}

}  // namespace ydr::gz
