// How the matcher searches a hash chain for the longest match. Every way visits the same
// candidates and chooses the same match, so the stream is the same whichever runs: the plain
// search (portable) and the vector search, whose compares come from one file per instruction
// set (match_compare_sse2.h, match_compare_avx2.h).
#pragma once

#include <cstdint>

#include "gz/deflate_constants.h"
#include "portable/byte_order.h"
#include "portable/cpu_targets.h"

namespace ydr::gz::match {

inline constexpr std::uint32_t kLongestDistance = 32768;  // what the format can say
// The tuning of the speed-oriented setting the matcher always runs at. Its good length (4)
// would quarter the chain limit once the length to beat reached it; here the length to beat
// is always 2, so the chain limit stays whole and no good length is needed.
inline constexpr std::uint32_t kNiceLength = 32;
inline constexpr std::uint32_t kChainLimit = 32;
inline constexpr std::uint32_t kLengthToBeat = kMinMatch - 1;

// Equal bytes of a and b, at most `limit`, compared eight at a time.
inline std::uint32_t CountEqual(const std::uint8_t *a, const std::uint8_t *b, std::uint32_t limit) {
  std::uint32_t n = 0;
  while (n < limit) {
    const std::uint64_t x = portable::LoadHost64(a + n), y = portable::LoadHost64(b + n);
    const std::uint64_t diff = x ^ y;
    if (diff != 0) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      n += static_cast<std::uint32_t>(__builtin_ctzll(diff)) >> 3;
#else
      n += static_cast<std::uint32_t>(__builtin_clzll(diff)) >> 3;
#endif
      return n < limit ? n : limit;
    }
    n += 8;
  }
  return limit;
}

// The search along a chain, which both variants make the same way: at most kChainLimit
// candidates, newest first, none at or below `limit` after the first; the longest match
// wins, the first found of equal ones, and one of kNiceLength or more ends the search.
// Both return the length (kLengthToBeat when nothing longer was found) and leave the
// winner's position in *start.
struct ChainSearch {
  const std::uint8_t *window;
  std::uint32_t mask;
  std::uint32_t limit;
};

// The plain search: a candidate is compared in full only if it agrees with the current
// position in its first two bytes and at the current best length.
struct PlainSearch {
  static constexpr bool kSkipLinks = false;

  template <class Position>
  static std::uint32_t Longest(const ChainSearch &c, const Position *prev, const Position * /*skip*/,
                               std::uint32_t position, std::uint32_t candidate, std::uint32_t *start) {
    const std::uint8_t *const scan = c.window + position;
    std::uint32_t chain = kChainLimit;
    std::uint32_t best = kLengthToBeat;
    const std::uint32_t scan_start = portable::LoadHost16(scan);
    std::uint32_t scan_end = portable::LoadHost16(scan + best - 1);
    do {
      const std::uint8_t *match = c.window + candidate;
      // Only a candidate that agrees at the current best length and in its first two bytes
      // can do better. The third byte agrees whenever these do: the hash holds it.
      if (((portable::LoadHost16(match + best - 1) ^ scan_end) | (portable::LoadHost16(match) ^ scan_start)) != 0)
        continue;
      const std::uint32_t length = 3 + CountEqual(scan + 3, match + 3, kMaxMatch - 3);
      if (length > best) {
        *start = candidate;
        best = length;
        if (length >= kNiceLength) break;
        scan_end = portable::LoadHost16(scan + best - 1);
      }
    } while ((candidate = prev[candidate & c.mask]) > c.limit && --chain != 0);
    return best;
  }
};

// The same search without a branch per candidate: every candidate's common prefix with the
// current position is measured up to kNiceLength bytes at once, and the best kept as
// (length << 32 | position), so that of equal lengths the later position, the one met
// first, wins. Only the winner is measured past kNiceLength.
template <class Compare>
struct VectorSearch {
  static constexpr bool kSkipLinks = true;

  // The chain is followed two links at a time: `skip` holds each position's second
  // predecessor, so the loads that find the next candidates depend on one another only
  // every other candidate.
  template <class Position>
  YDR_ALWAYS_INLINE static std::uint32_t Longest(const ChainSearch &c, const Position *prev, const Position *skip,
                                                 std::uint32_t position, std::uint32_t candidate,
                                                 std::uint32_t *start) {
    static_assert(kNiceLength == 32, "the prefix is measured 32 bytes at a time");
    const std::uint8_t *const scan = c.window + position;
    std::uint32_t chain = kChainLimit;
    std::uint64_t best = 0;
    const auto measure = [&](std::uint32_t at) YDR_ALWAYS_INLINE_LAMBDA {
      const std::uint32_t length = Compare::Prefix32(scan, c.window + at);
      const std::uint64_t key = std::uint64_t{length} << 32 | at;
      best = key > best ? key : best;
      return length >= kNiceLength;
    };
    for (;;) {
      if (measure(candidate) || --chain == 0) break;
      const std::uint32_t next = prev[candidate & c.mask];
      const std::uint32_t after = skip[candidate & c.mask];
      if (next <= c.limit || measure(next) || --chain == 0 || after <= c.limit) break;
      candidate = after;
    }
    std::uint32_t length = static_cast<std::uint32_t>(best >> 32);
    if (length < kMinMatch) return kLengthToBeat;
    *start = static_cast<std::uint32_t>(best);
    if (length == kNiceLength) {
      length += CountEqual(scan + kNiceLength, c.window + *start + kNiceLength, kMaxMatch - kNiceLength);
    }
    return length;
  }
};
}  // namespace ydr::gz::match
