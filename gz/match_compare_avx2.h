// The vector search's compares in 32-byte registers (AVX2), for the loop compiled for AVX2
// (deflate_match_avx2.cpp), into which they inline.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "portable/cpu_targets.h"

namespace ydr::gz::match {

// Leading equal bytes of two 32-byte runs (32: all equal), by one compare.
struct Compare32 {
  YDR_AVX2_TARGET static std::uint32_t Prefix32(const std::uint8_t *a, const std::uint8_t *b) {
    const auto equal = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(a)),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b)))));
    return static_cast<std::uint32_t>(__builtin_ctzll(~static_cast<std::uint64_t>(equal)));
  }
};

}  // namespace ydr::gz::match
