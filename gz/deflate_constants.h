// The fixed numbers of the deflate format (RFC 1951) that both directions use: length and
// distance codes with their extra bits and base values, and the fixed Huffman codes.
#pragma once

#include <array>
#include <cstdint>

namespace ydr::gz {

inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 258;
inline constexpr int kLengthCodes = 29;
inline constexpr int kLiterals = 256;
inline constexpr int kEndBlock = 256;
inline constexpr int kLitLenCodes = kLiterals + 1 + kLengthCodes;  // 286
inline constexpr int kDistCodes = 30;
inline constexpr int kBitLengthCodes = 19;
inline constexpr int kMaxBits = 15;
inline constexpr int kMaxBitLengthBits = 7;

inline constexpr std::uint8_t kLengthExtra[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint8_t kDistExtra[kDistCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::uint8_t kBitLengthExtra[kBitLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                  0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which a dynamic header sends the bit-length code lengths.
inline constexpr std::uint8_t kBitLengthOrder[kBitLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};

// Match length - 3 to length code, and each length code's base (length - 3).
struct LengthTables {
  std::uint8_t code[256];
  std::uint8_t base[kLengthCodes];
};

constexpr LengthTables MakeLengthTables() {
  LengthTables t{};
  int length = 0;
  int code = 0;
  for (; code < kLengthCodes - 1; ++code) {
    t.base[code] = static_cast<std::uint8_t>(length);
    for (int n = 0; n < (1 << kLengthExtra[code]); ++n) t.code[length++] = static_cast<std::uint8_t>(code);
  }
  // Length 258 (255 here) is code 28, not the last of code 27's range.
  t.code[length - 1] = static_cast<std::uint8_t>(code);
  t.base[code] = static_cast<std::uint8_t>(length - 1);
  return t;
}
inline constexpr LengthTables kLengthTables = MakeLengthTables();

// Distance - 1 to distance code: distances below 257 directly, larger ones by (d - 1) / 128
// in the upper half; and each code's base (distance - 1).
struct DistanceTables {
  std::uint8_t code[512];
  std::uint16_t base[kDistCodes];
};

constexpr DistanceTables MakeDistanceTables() {
  DistanceTables t{};
  int dist = 0;
  int code = 0;
  for (; code < 16; ++code) {
    t.base[code] = static_cast<std::uint16_t>(dist);
    for (int n = 0; n < (1 << kDistExtra[code]); ++n) t.code[dist++] = static_cast<std::uint8_t>(code);
  }
  dist >>= 7;
  for (; code < kDistCodes; ++code) {
    t.base[code] = static_cast<std::uint16_t>(dist << 7);
    for (int n = 0; n < (1 << (kDistExtra[code] - 7)); ++n) t.code[256 + dist++] = static_cast<std::uint8_t>(code);
  }
  return t;
}
inline constexpr DistanceTables kDistanceTables = MakeDistanceTables();

constexpr int DistanceCode(unsigned distance_minus_one) {
  return distance_minus_one < 256 ? kDistanceTables.code[distance_minus_one]
                                  : kDistanceTables.code[256 + (distance_minus_one >> 7)];
}

static_assert(kLengthTables.code[0] == 0 && kLengthTables.code[254] == 27 && kLengthTables.code[255] == 28);
static_assert(DistanceCode(0) == 0 && DistanceCode(4) == 4 && DistanceCode(32767) == 29);

constexpr unsigned ReverseBits(unsigned code, int length) {
  unsigned result = 0;
  for (int i = 0; i < length; ++i, code >>= 1) result = (result << 1) | (code & 1);
  return result;
}

// A code as it is sent: the bits already reversed (least significant first) and its length.
struct Code {
  std::uint16_t bits;
  std::uint16_t length;
};

struct FixedCodes {
  Code litlen[288];
  Code dist[kDistCodes];
};

constexpr FixedCodes MakeFixedCodes() {
  FixedCodes f{};
  int count[kMaxBits + 1] = {};
  for (int n = 0; n < 288; ++n) {
    const int length = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    f.litlen[n].length = static_cast<std::uint16_t>(length);
    ++count[length];
  }
  unsigned next[kMaxBits + 1] = {};
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) next[bits] = code = (code + count[bits - 1]) << 1;
  for (int n = 0; n < 288; ++n) {
    f.litlen[n].bits = static_cast<std::uint16_t>(ReverseBits(next[f.litlen[n].length]++, f.litlen[n].length));
  }
  for (int n = 0; n < kDistCodes; ++n) f.dist[n] = {static_cast<std::uint16_t>(ReverseBits(n, 5)), 5};
  return f;
}
inline constexpr FixedCodes kFixedCodes = MakeFixedCodes();

static_assert(kFixedCodes.litlen[256].length == 7 && kFixedCodes.litlen[256].bits == 0, "end of block: 0000000");
static_assert(kFixedCodes.litlen[0].length == 8 && kFixedCodes.litlen[0].bits == ReverseBits(0x30, 8));

}  // namespace ydr::gz
