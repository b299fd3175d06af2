// The four 256-entry tables of SEED's G function, built at compile time from the cipher's
// definition: two S-boxes S1(x) = A1 * x^247 + 0xA9 and S2(x) = A2 * x^251 + 0x38 over
// GF(2^8) modulo x^8 + x^6 + x^5 + x + 1 (A1, A2 affine matrices over GF(2)), each output
// spread over a 32-bit word through the masks 0xFC, 0xF3, 0xCF and 0x3F.
#pragma once

#include <array>
#include <cstdint>

namespace ydr::crypto::seed {

namespace detail {

constexpr unsigned GfMultiply(unsigned a, unsigned b) {
  unsigned r = 0;
  for (; b != 0; b >>= 1) {
    if (b & 1) r ^= a;
    a <<= 1;
    if (a & 0x100) a ^= 0x163;
  }
  return r;
}

constexpr unsigned GfPower(unsigned a, unsigned e) {
  unsigned r = 1;
  for (; e != 0; e >>= 1, a = GfMultiply(a, a)) {
    if (e & 1) r = GfMultiply(r, a);
  }
  return r;
}

// The matrices by columns: column i is the image of bit i.
inline constexpr unsigned char kA1[8] = {0x2C, 0xD0, 0x69, 0xC2, 0x41, 0x44, 0x58, 0xE2};
inline constexpr unsigned char kA2[8] = {0xD0, 0x2A, 0xE1, 0x2C, 0x21, 0x30, 0xA2, 0x6C};

constexpr unsigned SBox(const unsigned char (&columns)[8], unsigned exponent, unsigned constant, unsigned x) {
  const unsigned y = x == 0 ? 0 : GfPower(x, exponent);
  unsigned r = constant;
  for (int i = 0; i < 8; ++i) {
    if ((y >> i) & 1) r ^= columns[i];
  }
  return r;
}

inline constexpr unsigned kMask[4] = {0xFC, 0xF3, 0xCF, 0x3F};

// Table t: byte j (from the lowest) of entry x is S(x) & mask[(t + j) % 4], S being S1 for
// the even tables and S2 for the odd ones.
constexpr std::array<std::array<std::uint32_t, 256>, 4> BuildTables() {
  std::array<std::array<std::uint32_t, 256>, 4> tables{};
  for (unsigned x = 0; x < 256; ++x) {
    const unsigned s[2] = {SBox(kA1, 247, 0xA9, x), SBox(kA2, 251, 0x38, x)};
    for (unsigned t = 0; t < 4; ++t) {
      std::uint32_t word = 0;
      for (unsigned j = 0; j < 4; ++j) word |= static_cast<std::uint32_t>(s[t & 1] & kMask[(t + j) % 4]) << (8 * j);
      tables[t][x] = word;
    }
  }
  return tables;
}

}  // namespace detail

inline constexpr std::array<std::array<std::uint32_t, 256>, 4> kTables = detail::BuildTables();

// The key-schedule constants: the golden-ratio word 0x9E3779B9 rotated left by i bits.
inline constexpr std::array<std::uint32_t, 16> kRoundConstants = [] {
  std::array<std::uint32_t, 16> c{};
  std::uint32_t k = 0x9E3779B9u;
  for (auto &v : c) {
    v = k;
    k = (k << 1) | (k >> 31);
  }
  return c;
}();

}  // namespace ydr::crypto::seed
