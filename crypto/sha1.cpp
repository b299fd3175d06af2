// SHA-1 as FIPS 180-1 defines it. The record is the caller's and its layout is fixed: the
// chaining words, a 64-bit bit count in two words (the number of bytes waiting in the block
// buffer is derived from it), and the block buffer.
#include <cstdint>
#include <cstring>

#include "crypto/sha1_blocks.h"
#include "portable/byte_order.h"
#include "portable/cpu_features.h"
#include "ydr/sha1.h"

namespace ydr::crypto {
namespace {

static_assert(sizeof(YDR_SHA1_ALG_INFO) == 100, "the record's size is part of the interface");

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The compression function on one 64-byte block; the block is only read.
void CompressOne(unsigned int chain[5], const unsigned char *block) {
  std::uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = portable::LoadBigEndian32(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3], e = chain[4];
  const auto step = [&](std::uint32_t f, std::uint32_t k, std::uint32_t wt) {
    const std::uint32_t temp = Rotl(a, 5) + f + e + k + wt;
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = temp;
  };
  for (int t = 0; t < 20; ++t) step((b & c) | (~b & d), 0x5A827999u, w[t]);
  for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ED9EBA1u, w[t]);
  for (int t = 40; t < 60; ++t) step((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, w[t]);
  for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xCA62C1D6u, w[t]);
  chain[0] += a;
  chain[1] += b;
  chain[2] += c;
  chain[3] += d;
  chain[4] += e;
}

}  // namespace

void Sha1Blocks_generic(unsigned int chain[5], const unsigned char *blocks, std::size_t count) {
  for (; count != 0; --count, blocks += 64) CompressOne(chain, blocks);
}

Sha1BlocksFunction Sha1Variant_shani() { return portable::GetCpuFeatures().sha ? &Sha1Blocks_shani : nullptr; }

Sha1BlocksFunction Sha1Blocks() {
  static const Sha1BlocksFunction best = [] {
    const Sha1BlocksFunction shani = Sha1Variant_shani();
    return shani != nullptr ? shani : &Sha1Blocks_generic;
  }();
  return best;
}

namespace {
void Compress(unsigned int chain[5], const unsigned char *block, std::size_t count = 1) {
  Sha1Blocks()(chain, block, count);
}
}  // namespace

}  // namespace ydr::crypto

extern "C" YDR_API void YDR_SHA1_Init(YDR_SHA1_ALG_INFO *info) {
  info->chain[0] = 0x67452301u;
  info->chain[1] = 0xEFCDAB89u;
  info->chain[2] = 0x98BADCFEu;
  info->chain[3] = 0x10325476u;
  info->chain[4] = 0xC3D2E1F0u;
  info->count[0] = 0;
  info->count[1] = 0;
}

extern "C" YDR_API void YDR_SHA1_Update(YDR_SHA1_ALG_INFO *info, const unsigned char *data, unsigned int length) {
  unsigned int waiting = (info->count[0] >> 3) & 63;
  const unsigned int low = info->count[0] + (length << 3);
  if (low < info->count[0]) ++info->count[1];  // the carry into the high word
  info->count[0] = low;
  info->count[1] += length >> 29;

  const unsigned int space = 64 - waiting;
  if (length >= space) {
    std::memcpy(info->buffer + waiting, data, space);
    ydr::crypto::Compress(info->chain, info->buffer);
    unsigned int i = space;
    // Whole blocks are compressed where they lie when 4-byte aligned, else from the block
    // buffer (which the record then shows, as callers may see).
    if ((reinterpret_cast<std::uintptr_t>(data + i) & 3) == 0) {
      const unsigned int whole = (length - i) / 64;
      ydr::crypto::Compress(info->chain, data + i, whole);
      i += whole * 64;
    } else {
      for (; i + 64 <= length; i += 64) {
        std::memcpy(info->buffer, data + i, 64);
        ydr::crypto::Compress(info->chain, info->buffer);
      }
    }
    data += i;
    length -= i;
    waiting = 0;
  }
  std::memcpy(info->buffer + waiting, data, length);
}

extern "C" YDR_API void YDR_SHA1_Final(YDR_SHA1_ALG_INFO *info, unsigned char *digest) {
  const unsigned int i = (info->count[0] >> 3) & 63;
  info->buffer[i] = 0x80;
  if (i + 1 <= 56) {
    std::memset(info->buffer + i + 1, 0, 55 - i);
  } else {
    std::memset(info->buffer + i + 1, 0, 63 - i);
    ydr::crypto::Compress(info->chain, info->buffer);
    std::memset(info->buffer, 0, 56);
  }
  ydr::portable::StoreBigEndian32(info->buffer + 56, info->count[1]);
  ydr::portable::StoreBigEndian32(info->buffer + 60, info->count[0]);
  ydr::crypto::Compress(info->chain, info->buffer);
  for (int w = 0; w < 5; ++w) ydr::portable::StoreBigEndian32(digest + 4 * w, info->chain[w]);
}
