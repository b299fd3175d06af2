// Numbers in byte buffers, in the byte order a format fixes: little-endian (the archive, the
// stream trailer, the deflate bit stream) or big-endian (the ciphers and digests). Loads and
// stores go through memcpy or single bytes, never through a cast pointer, so any alignment
// is fine and compilers turn them into one move (and a byte swap where the order differs).
#pragma once

#include <cstdint>
#include <cstring>

namespace ydr::platform {

inline bool HostIsLittleEndian() {
  const std::uint16_t probe = 1;
  std::uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

inline std::uint16_t LoadLittleEndian16(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t LoadLittleEndian32(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t LoadLittleEndian64(const std::uint8_t *p) {
  if (HostIsLittleEndian()) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  return static_cast<std::uint64_t>(LoadLittleEndian32(p + 4)) << 32 | LoadLittleEndian32(p);
}
inline void StoreLittleEndian16(std::uint8_t *p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLittleEndian32(std::uint8_t *p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreLittleEndian64(std::uint8_t *p, std::uint64_t v) {
  if (HostIsLittleEndian()) {
    std::memcpy(p, &v, 8);
    return;
  }
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t LoadBigEndian32(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
inline void StoreBigEndian32(std::uint8_t *p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
inline std::uint64_t LoadBigEndian64(const std::uint8_t *p) {
  return static_cast<std::uint64_t>(LoadBigEndian32(p)) << 32 | LoadBigEndian32(p + 4);
}
inline void StoreBigEndian64(std::uint8_t *p, std::uint64_t v) {
  StoreBigEndian32(p, static_cast<std::uint32_t>(v >> 32));
  StoreBigEndian32(p + 4, static_cast<std::uint32_t>(v));
}

// Bytes as the host holds them, for comparing runs of bytes a word at a time.
inline std::uint16_t LoadHost16(const std::uint8_t *p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline std::uint64_t LoadHost64(const std::uint8_t *p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

}  // namespace ydr::platform
