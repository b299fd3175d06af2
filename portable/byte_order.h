// Numbers in byte buffers, in the byte order a format fixes: little-endian (the archive, the
// stream trailer, the deflate bit stream) or big-endian (the ciphers and digests). Loads and
// stores go through memcpy or single bytes, never through a cast pointer, so any alignment
// is fine and compilers turn them into one move (and a byte swap where the order differs).
#pragma once

#include <cstdint>
#include <cstring>

namespace ydr::portable {

constexpr bool HostIsLittleEndian() { return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__; }

inline std::uint16_t LoadLittleEndian16(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t LoadLittleEndian32(const std::uint8_t *p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return HostIsLittleEndian() ? v : __builtin_bswap32(v);
}
inline std::uint64_t LoadLittleEndian64(const std::uint8_t *p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return HostIsLittleEndian() ? v : __builtin_bswap64(v);
}
inline void StoreLittleEndian16(std::uint8_t *p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLittleEndian32(std::uint8_t *p, std::uint32_t v) {
  if (!HostIsLittleEndian()) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}
inline void StoreLittleEndian64(std::uint8_t *p, std::uint64_t v) {
  if (!HostIsLittleEndian()) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// One move and a byte swap (compilers do not always merge byte-by-byte forms into that).
inline std::uint32_t LoadBigEndian32(const std::uint8_t *p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return HostIsLittleEndian() ? __builtin_bswap32(v) : v;
}
inline void StoreBigEndian32(std::uint8_t *p, std::uint32_t v) {
  if (HostIsLittleEndian()) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}
inline std::uint64_t LoadBigEndian64(const std::uint8_t *p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return HostIsLittleEndian() ? __builtin_bswap64(v) : v;
}
inline void StoreBigEndian64(std::uint8_t *p, std::uint64_t v) {
  if (HostIsLittleEndian()) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
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

}  // namespace ydr::portable
