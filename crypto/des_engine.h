// The DES engine of document encryption (FIPS 46 single DES, one 8-byte block at a time).
// Permutation tables shared by every key are built once per process, on the first DesSetKey;
// each key state holds its S-box pair tables and sixteen subkeys. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace ydr::crypto {

struct DesKeyState {
  std::uint8_t permutedKeyBits[56];  // PC-1 of the key, one bit per byte
  std::uint8_t rotatedKeyBits[56];   // working storage of the schedule
  std::uint8_t sboxPairs[4][4096];   // table t: S(2t+1) in the high nibble, S(2t+2) in the low
  std::uint8_t subkeys[16][6];       // K1..K16, 48 bits each, most significant first
};

// Builds the shared tables if no thread has yet; safe to call from several threads at once.
void DesInitSharedTables();
// True once the shared tables are complete.
bool DesSharedTablesBuilt();
void DesSetKey(DesKeyState *state, const std::uint8_t key[8]);
void DesEncryptBlock(const std::uint8_t in[8], const DesKeyState *state, std::uint8_t out[8]);
void DesDecryptBlock(const std::uint8_t in[8], const DesKeyState *state, std::uint8_t out[8]);
// n consecutive blocks, each as the single-block functions would (in == out allowed).
void DesCryptBlocks(const std::uint8_t *in, const DesKeyState *state, std::uint8_t *out, std::size_t n, bool encrypt);

// DES as the modes of operation take it (8-byte blocks); `state` must outlive the cipher.
crypto::BlockCipher DesCipher(const DesKeyState *state);

}  // namespace ydr::crypto
