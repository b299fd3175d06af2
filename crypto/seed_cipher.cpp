#include "crypto/seed_cipher.h"

#include "crypto/seed_tables.h"
#include "portable/byte_order.h"

namespace ydr::crypto::seed {
namespace {

inline std::uint32_t G(std::uint32_t x) {
  return kTables[0][x & 0xFF] ^ kTables[1][(x >> 8) & 0xFF] ^ kTables[2][(x >> 16) & 0xFF] ^ kTables[3][x >> 24];
}

// N blocks side by side: x holds each block's left half, y its right half.
template <int N>
struct Lanes {
  std::uint32_t x0[N], x1[N], y0[N], y1[N];
};

// One round on every lane: (a0, a1) ^= F(b0, b1) under the round's key pair.
template <int N>
inline void Round(std::uint32_t (&a0)[N], std::uint32_t (&a1)[N], const std::uint32_t (&b0)[N],
                  const std::uint32_t (&b1)[N], std::uint32_t k0, std::uint32_t k1) {
  std::uint32_t c[N], d[N];
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    c[i] = b0[i] ^ k0;
    d[i] = G(c[i] ^ b1[i] ^ k1);
  }
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) c[i] = G(c[i] + d[i]);
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) d[i] = G(d[i] + c[i]);
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    a0[i] ^= c[i] + d[i];
    a1[i] ^= d[i];
  }
}

// Sixteen rounds without moving the halves: odd rounds update the left half, even rounds the
// right. Encryption takes the key pairs from round 1 up (first 0, step 2), decryption from
// round 16 down (first 30, step -2).
template <int N, int first, int step>
inline void Crypt(const std::uint32_t *rk, const unsigned char *in, unsigned char *out) {
  Lanes<N> s;
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    s.x0[i] = portable::LoadBigEndian32(in + 16 * i);
    s.x1[i] = portable::LoadBigEndian32(in + 16 * i + 4);
    s.y0[i] = portable::LoadBigEndian32(in + 16 * i + 8);
    s.y1[i] = portable::LoadBigEndian32(in + 16 * i + 12);
  }
#pragma GCC unroll 8
  for (int r = 0; r < 16; r += 2) {
    const int k = first + r * step;
    Round(s.x0, s.x1, s.y0, s.y1, rk[k], rk[k + 1]);
    Round(s.y0, s.y1, s.x0, s.x1, rk[k + step], rk[k + step + 1]);
  }
  // The last round does not exchange the halves, so the right half comes out first.
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    portable::StoreBigEndian32(out + 16 * i, s.y0[i]);
    portable::StoreBigEndian32(out + 16 * i + 4, s.y1[i]);
    portable::StoreBigEndian32(out + 16 * i + 8, s.x0[i]);
    portable::StoreBigEndian32(out + 16 * i + 12, s.x1[i]);
  }
}

template <int first, int step>
void Blocks(const std::uint32_t *rk, const unsigned char *in, unsigned char *out, std::size_t count) {
  for (; count >= 4; count -= 4, in += 64, out += 64) Crypt<4, first, step>(rk, in, out);
  for (; count != 0; --count, in += 16, out += 16) Crypt<1, first, step>(rk, in, out);
}

}  // namespace

void KeySchedule(const unsigned char key[16], std::uint32_t roundKeys[kRoundKeyWords]) {
  std::uint32_t a = portable::LoadBigEndian32(key), b = portable::LoadBigEndian32(key + 4);
  std::uint32_t c = portable::LoadBigEndian32(key + 8), d = portable::LoadBigEndian32(key + 12);
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) {
    roundKeys[2 * i] = G(a + c - kRoundConstants[i]);
    roundKeys[2 * i + 1] = G(b - d + kRoundConstants[i]);
    if (i % 2 == 0) {  // rounds 1, 3, ...: A||B rotates right by 8 bits
      const std::uint32_t t = a;
      a = (a >> 8) | (b << 24);
      b = (b >> 8) | (t << 24);
    } else {  // rounds 2, 4, ...: C||D rotates left by 8 bits
      const std::uint32_t t = c;
      c = (c << 8) | (d >> 24);
      d = (d << 8) | (t >> 24);
    }
  }
}

void EncryptBlocks(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char *in, unsigned char *out,
                   std::size_t count) {
  Blocks<0, 2>(roundKeys, in, out, count);
}

void DecryptBlocks(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char *in, unsigned char *out,
                   std::size_t count) {
  Blocks<30, -2>(roundKeys, in, out, count);
}

}  // namespace ydr::crypto::seed

namespace ydr::crypto::seed {
namespace {

void EncryptTransform(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  EncryptBlocks(static_cast<const std::uint32_t *>(key), in, out, blocks);
}

void DecryptTransform(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  DecryptBlocks(static_cast<const std::uint32_t *>(key), in, out, blocks);
}

}  // namespace

BlockCipher SeedCipher(const std::uint32_t roundKeys[kRoundKeyWords]) {
  return {16, roundKeys, EncryptTransform, DecryptTransform};
}

}  // namespace ydr::crypto::seed
