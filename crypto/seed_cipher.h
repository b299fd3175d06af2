// The SEED block cipher (128-bit blocks and keys, 16 Feistel rounds): key schedule and the
// block transforms. Blocks and keys are read as four big-endian words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

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

// SEED as the modes of operation take it, keyed by the round keys (which must outlive it).
BlockCipher SeedCipher(const std::uint32_t roundKeys[kRoundKeyWords]);

}  // namespace ydr::crypto::seed
