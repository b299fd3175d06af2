// The vector search's compares in 16-byte registers (SSE2, every x86-64 processor).
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace ydr::gz::match {

// Leading equal bytes of two 32-byte runs (32: all equal), by two 16-byte compares.
struct Compare16 {
  static std::uint32_t Prefix32(const std::uint8_t *a, const std::uint8_t *b) {
    const auto equal16 = [](const std::uint8_t *x, const std::uint8_t *y) {
      return static_cast<std::uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(x)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i *>(y)))));
    };
    const std::uint32_t equal = equal16(a, b) | equal16(a + 16, b + 16) << 16;
    return static_cast<std::uint32_t>(__builtin_ctzll(~static_cast<std::uint64_t>(equal)));
  }
};

}  // namespace ydr::gz::match
