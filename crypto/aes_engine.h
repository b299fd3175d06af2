// The AES engine of document encryption: a key instance set from a direction and a key in
// hexadecimal text, a cipher instance set from a mode (ECB or CFB with one-bit segments) and
// an optional vector in hexadecimal text, and transforms of whole 16-byte blocks whose
// lengths are counted in bits. 128-, 192- and 256-bit keys. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace ydr::crypto {

inline constexpr std::uint8_t kAesEncrypt = 0;
inline constexpr std::uint8_t kAesDecrypt = 1;
inline constexpr std::uint8_t kAesModeEcb = 1;
inline constexpr std::uint8_t kAesModeCfb1 = 3;

// Results.
inline constexpr int kAesOk = 1;
inline constexpr int kAesBadDirection = -1;
inline constexpr int kAesBadKey = -2;  // key length, or a key character that is not a hex digit
inline constexpr int kAesNoInstance = -3;
inline constexpr int kAesBadMode = -4;
inline constexpr int kAesBadCipherState = -5;  // null instance, key for the wrong direction, mode not handled
inline constexpr int kAesBadVector = -7;

struct AesKeyInstance {
  std::uint8_t direction;
  std::int32_t keyLength;  // bits
  char keyDigits[64 + 1];
  std::int32_t rounds;
  std::uint32_t schedule[60];         // for the direction: encryption or equivalent-inverse schedule
  std::uint32_t encryptSchedule[60];  // always the encryption schedule (CFB-1 uses it both ways)
};

struct AesCipherInstance {
  std::uint8_t mode;
  std::uint8_t vector[16];  // the CFB-1 shift register
};

int AesSetKey(AesKeyInstance *key, std::uint8_t direction, std::int32_t keyLength, const char *keyText);
int AesSetMode(AesCipherInstance *cipher, std::uint8_t mode, const char *vectorText);
// Result: bits written (128 per whole block), 0 for no input or a length that is not
// positive, or kAesBadCipherState. Input and output may be the same buffer.
int AesEncryptBlocks(AesCipherInstance *cipher, const AesKeyInstance *key, const std::uint8_t *input,
                     std::int32_t lengthBits, std::uint8_t *output);
int AesDecryptBlocks(AesCipherInstance *cipher, const AesKeyInstance *key, const std::uint8_t *input,
                     std::int32_t lengthBits, std::uint8_t *output);

// FIPS 197 key expansion; the round count, or 0 for a key length other than 128/192/256.
int AesExpandEncryptKey(std::uint32_t schedule[60], const std::uint8_t *key, int keyBits);
// The schedule of the equivalent inverse cipher (reversed, InvMixColumns on the inner keys).
int AesExpandDecryptKey(std::uint32_t schedule[60], const std::uint8_t *key, int keyBits);
void AesEncryptBlock(const std::uint32_t *schedule, int rounds, const std::uint8_t in[16], std::uint8_t out[16]);
void AesDecryptBlock(const std::uint32_t *schedule, int rounds, const std::uint8_t in[16], std::uint8_t out[16]);

// An AES key as its block transforms take it: a schedule (encryption or equivalent-inverse)
// and its round count.
struct AesRounds {
  const std::uint32_t *schedule;
  int rounds;
};

// AES as the modes of operation take it (crypto/block_modes.h), in the variant chosen for
// this CPU (AesUsePath). `key` must outlive the cipher.
crypto::BlockCipher AesCipher(const AesRounds *key);

// The CPU's AES instructions, when present (null otherwise, or when disabled): whole-buffer
// transforms (key: const AesRounds *), and CFB-1 encryption fused with the rounds. CFB-1
// encryption cannot batch (each bit's encryption waits on the previous bit), so the fused
// form keeps the register in a vector register from bit to bit; it gives the bytes the
// generic Cfb1Encrypt gives.
struct AesFastPath {
  crypto::BlockCipher::Transform ecbEncrypt;
  crypto::BlockCipher::Transform ecbDecrypt;
  void (*cfb1Encrypt)(const AesRounds &key, std::uint8_t vector[16], const std::uint8_t *in, std::uint8_t *out,
                      std::size_t bytes);
};
const AesFastPath *AesInstructions();     // the widest available; null when none
const AesFastPath *AesInstructions128();  // the 128-bit form only (for tests); null when unavailable
// Which path the transforms take: the best for this CPU, or (for tests and benchmarks) the
// tables or the 128-bit instructions alone.
enum class AesPath { kBest, kTables, kInstructions128 };
void AesUsePath(AesPath path);

}  // namespace ydr::crypto
