// Big-endian words in byte buffers, as the ciphers and digests define their blocks.
#pragma once

#include <cstdint>

namespace ydr::crypto {

inline std::uint32_t LoadBigEndian32(const unsigned char *p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

inline void StoreBigEndian32(unsigned char *p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline std::uint64_t LoadBigEndian64(const unsigned char *p) {
  return static_cast<std::uint64_t>(LoadBigEndian32(p)) << 32 | LoadBigEndian32(p + 4);
}

inline void StoreBigEndian64(unsigned char *p, std::uint64_t v) {
  StoreBigEndian32(p, static_cast<std::uint32_t>(v >> 32));
  StoreBigEndian32(p + 4, static_cast<std::uint32_t>(v));
}

}  // namespace ydr::crypto
