// The opaque stream handle behind YDRGZ: one struct of each direction derives from it.
#pragma once

#include <cstdint>

#include "ydr/gz.h"

struct YdrGZStream {
  enum class Direction : std::uint32_t { kWrite = 0x57524954, kRead = 0x52454144 };  // "WRIT", "READ"
  explicit YdrGZStream(Direction d) : direction(d) {}
  Direction direction;
};

namespace ydr::gz {

// Window and hash sizes of a memory level; unknown levels are level 0.
struct MemoryLevel {
  std::uint32_t window_size;
  std::uint32_t hash_bits;
  std::uint32_t hash_exponent;
};

constexpr MemoryLevel MemoryLevelOf(int level) {
  switch (level) {
    case 1: return {8192, 11, 14};
    case 2: return {65536, 15, 18};
    default: return {4096, 10, 13};
  }
}

}  // namespace ydr::gz
