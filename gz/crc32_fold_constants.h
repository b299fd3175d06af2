// Folding constants for the carry-less-multiplication CRC-32 paths: for a distance of D
// bits, x^(D+32) and x^(D-32) modulo the polynomial, bit-reflected and shifted left by one.
// scripts/gen_crc32_tables.py derives them.
#pragma once

#include <cstdint>

namespace ydr::gz::crc32_constants {

inline constexpr std::uint64_t kFold2048[2] = {0x11542778aull, 0x1322d1430ull};
inline constexpr std::uint64_t kFold512[2] = {0x154442bd4ull, 0x1c6e41596ull};
inline constexpr std::uint64_t kFold384[2] = {0x03db1ecdcull, 0x174359406ull};
inline constexpr std::uint64_t kFold256[2] = {0x0f1da05aaull, 0x15a546366ull};
inline constexpr std::uint64_t kFold128[2] = {0x1751997d0ull, 0x0ccaa009eull};
inline constexpr std::uint64_t kFold64 = 0x163cd6124ull;
inline constexpr std::uint64_t kBarrett[2] = {0x1db710641ull, 0x1f7011641ull};  // polynomial, mu

}  // namespace ydr::gz::crc32_constants
