// The SEED block cipher (128-bit blocks and keys, 16 Feistel rounds): key schedule and the
// block transforms. Blocks and keys are read as four big-endian words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::crypto::seed {

inline constexpr int kRoundKeyWords = 32;

// Derives the 32 round keys (two per round, round 1's first) from a 16-byte key.
void KeySchedule(const unsigned char key[16], std::uint32_t roundKeys[kRoundKeyWords]);

// Transform `count` consecutive 16-byte blocks from `in` to `out` (which may be the same
// buffer, or overlap exactly). Independent blocks are interleaved, since each block's
// rounds form one long dependent chain of table lookups.
void EncryptBlocks(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char *in, unsigned char *out,
                   std::size_t count);
void DecryptBlocks(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char *in, unsigned char *out,
                   std::size_t count);

inline void EncryptBlock(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char in[16],
                         unsigned char out[16]) {
  EncryptBlocks(roundKeys, in, out, 1);
}
inline void DecryptBlock(const std::uint32_t roundKeys[kRoundKeyWords], const unsigned char in[16],
                         unsigned char out[16]) {
  DecryptBlocks(roundKeys, in, out, 1);
}

}  // namespace ydr::crypto::seed
