// The lookup tables of the 32-bit-word form of AES (FIPS 197), computed at compile time from
// the field GF(2^8) modulo x^8 + x^4 + x^3 + x + 1. Te0..Te3 combine SubBytes and MixColumns
// at the four byte rotations, Td0..Td3 the inverse steps; Te4/Td4 are the S-box and its
// inverse replicated into all four bytes of a word.
#pragma once

#include <array>
#include <cstdint>

namespace ydr::crypto::aes {

namespace detail {

constexpr unsigned Mul(unsigned a, unsigned b) {
  unsigned r = 0;
  for (; b != 0; b >>= 1) {
    if (b & 1) r ^= a;
    a = (a << 1) ^ ((a & 0x80) ? 0x11B : 0);
  }
  return r & 0xFF;
}

// The multiplicative inverse as x^254 (0 for 0).
constexpr unsigned Inverse(unsigned x) {
  unsigned result = 1, power = x;
  for (unsigned e = 254; e != 0; e >>= 1, power = Mul(power, power)) {
    if (e & 1) result = Mul(result, power);
  }
  return x == 0 ? 0 : result;
}

constexpr std::array<std::uint8_t, 256> BuildSBox() {
  std::array<std::uint8_t, 256> s{};
  for (unsigned x = 0; x < 256; ++x) {
    unsigned b = Inverse(x), result = 0x63;
    for (int i = 0; i < 5; ++i) {  // the affine map: b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4)
      result ^= ((b << i) | (b >> (8 - i))) & 0xFF;
    }
    s[x] = static_cast<std::uint8_t>(result);
  }
  return s;
}

inline constexpr std::array<std::uint8_t, 256> kSBox = BuildSBox();

constexpr std::array<std::uint8_t, 256> BuildInverseSBox() {
  std::array<std::uint8_t, 256> inv{};
  for (unsigned x = 0; x < 256; ++x) inv[kSBox[x]] = static_cast<std::uint8_t>(x);
  return inv;
}

inline constexpr std::array<std::uint8_t, 256> kInverseSBox = BuildInverseSBox();

constexpr std::uint32_t Word(unsigned a, unsigned b, unsigned c, unsigned d) {
  return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
         static_cast<std::uint32_t>(c) << 8 | d;
}

constexpr std::uint32_t RotateRight(std::uint32_t x, int n) { return n == 0 ? x : (x >> n) | (x << (32 - n)); }

struct Tables {
  std::uint32_t te[5][256];
  std::uint32_t td[5][256];
  std::uint32_t rcon[10];
};

constexpr Tables BuildTables() {
  Tables t{};
  for (unsigned x = 0; x < 256; ++x) {
    const unsigned s = kSBox[x], i = kInverseSBox[x];
    const std::uint32_t e = Word(Mul(s, 2), s, s, Mul(s, 3));
    const std::uint32_t d = Word(Mul(i, 14), Mul(i, 9), Mul(i, 13), Mul(i, 11));
    for (int r = 0; r < 4; ++r) {
      t.te[r][x] = RotateRight(e, 8 * r);
      t.td[r][x] = RotateRight(d, 8 * r);
    }
    t.te[4][x] = Word(s, s, s, s);
    t.td[4][x] = Word(i, i, i, i);
  }
  unsigned c = 1;
  for (auto &r : t.rcon) {
    r = static_cast<std::uint32_t>(c) << 24;
    c = Mul(c, 2);
  }
  return t;
}

}  // namespace detail

inline constexpr detail::Tables kTables = detail::BuildTables();

}  // namespace ydr::crypto::aes
