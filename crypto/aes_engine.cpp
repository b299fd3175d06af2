#include "crypto/aes_engine.h"

#include <atomic>
#include <cstring>

#include "crypto/aes_tables.h"
#include "crypto/block_modes.h"
#include "portable/byte_order.h"

namespace ydr::crypto {
namespace {

using aes::kTables;
const auto &Te0 = kTables.te[0];
const auto &Te1 = kTables.te[1];
const auto &Te2 = kTables.te[2];
const auto &Te3 = kTables.te[3];
const auto &Te4 = kTables.te[4];
const auto &Td0 = kTables.td[0];
const auto &Td1 = kTables.td[1];
const auto &Td2 = kTables.td[2];
const auto &Td3 = kTables.td[3];
const auto &Td4 = kTables.td[4];

// A hexadecimal digit's value, or -1.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `count` bytes from pairs of digits; false at the first character that is not one
// (the bytes before it are written).
bool ReadHex(const char *text, std::uint8_t *bytes, int count) {
  for (int i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    if (high < 0) return false;
    const int low = HexValue(text[2 * i + 1]);
    if (low < 0) return false;
    bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

std::atomic<AesPath> g_path{AesPath::kBest};

const AesFastPath *FastPath() {
  switch (g_path.load(std::memory_order_relaxed)) {
    case AesPath::kTables: return nullptr;
    case AesPath::kInstructions128: return AesInstructions128();
    default: return AesInstructions();
  }
}

void EncryptTables(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  const auto *k = static_cast<const AesRounds *>(key);
  for (; blocks != 0; --blocks, in += 16, out += 16) AesEncryptBlock(k->schedule, k->rounds, in, out);
}

void DecryptTables(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  const auto *k = static_cast<const AesRounds *>(key);
  for (; blocks != 0; --blocks, in += 16, out += 16) AesDecryptBlock(k->schedule, k->rounds, in, out);
}

}  // namespace

void AesUsePath(AesPath path) { g_path.store(path, std::memory_order_relaxed); }

crypto::BlockCipher AesCipher(const AesRounds *key) {
  const AesFastPath *fast = FastPath();
  if (fast != nullptr) return {16, key, fast->ecbEncrypt, fast->ecbDecrypt};
  return {16, key, EncryptTables, DecryptTables};
}

int AesExpandEncryptKey(std::uint32_t rk[60], const std::uint8_t *key, int keyBits) {
  const int nk = keyBits / 32;
  if (keyBits != 128 && keyBits != 192 && keyBits != 256) return 0;
  const int rounds = nk + 6;
  const int total = 4 * (rounds + 1);
  for (int i = 0; i < nk; ++i) rk[i] = portable::LoadBigEndian32(key + 4 * i);
  for (int i = nk; i < total; ++i) {
    std::uint32_t t = rk[i - 1];
    if (i % nk == 0) {
      t = (Te4[(t >> 16) & 0xFF] & 0xFF000000u) ^ (Te4[(t >> 8) & 0xFF] & 0x00FF0000u) ^ (Te4[t & 0xFF] & 0x0000FF00u) ^
          (Te4[t >> 24] & 0x000000FFu) ^ kTables.rcon[i / nk - 1];
    } else if (nk == 8 && i % nk == 4) {
      t = (Te4[t >> 24] & 0xFF000000u) ^ (Te4[(t >> 16) & 0xFF] & 0x00FF0000u) ^ (Te4[(t >> 8) & 0xFF] & 0x0000FF00u) ^
          (Te4[t & 0xFF] & 0x000000FFu);
    }
    rk[i] = rk[i - nk] ^ t;
  }
  return rounds;
}

int AesExpandDecryptKey(std::uint32_t rk[60], const std::uint8_t *key, int keyBits) {
  const int rounds = AesExpandEncryptKey(rk, key, keyBits);
  if (rounds == 0) return 0;
  for (int i = 0, j = 4 * rounds; i < j; i += 4, j -= 4) {
    for (int c = 0; c < 4; ++c) {
      const std::uint32_t t = rk[i + c];
      rk[i + c] = rk[j + c];
      rk[j + c] = t;
    }
  }
  for (int i = 4; i < 4 * rounds; ++i) {
    const std::uint32_t w = rk[i];
    rk[i] = Td0[Te4[w >> 24] & 0xFF] ^ Td1[Te4[(w >> 16) & 0xFF] & 0xFF] ^ Td2[Te4[(w >> 8) & 0xFF] & 0xFF] ^
            Td3[Te4[w & 0xFF] & 0xFF];
  }
  return rounds;
}

void AesEncryptBlock(const std::uint32_t *rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  using portable::LoadBigEndian32;
  std::uint32_t s0 = portable::LoadBigEndian32(in) ^ rk[0], s1 = portable::LoadBigEndian32(in + 4) ^ rk[1];
  std::uint32_t s2 = portable::LoadBigEndian32(in + 8) ^ rk[2], s3 = portable::LoadBigEndian32(in + 12) ^ rk[3];
  std::uint32_t t0, t1, t2, t3;
  // Two rounds per pass; the last round (no MixColumns) follows the loop.
  for (int r = rounds >> 1;;) {
    t0 = Te0[s0 >> 24] ^ Te1[(s1 >> 16) & 0xFF] ^ Te2[(s2 >> 8) & 0xFF] ^ Te3[s3 & 0xFF] ^ rk[4];
    t1 = Te0[s1 >> 24] ^ Te1[(s2 >> 16) & 0xFF] ^ Te2[(s3 >> 8) & 0xFF] ^ Te3[s0 & 0xFF] ^ rk[5];
    t2 = Te0[s2 >> 24] ^ Te1[(s3 >> 16) & 0xFF] ^ Te2[(s0 >> 8) & 0xFF] ^ Te3[s1 & 0xFF] ^ rk[6];
    t3 = Te0[s3 >> 24] ^ Te1[(s0 >> 16) & 0xFF] ^ Te2[(s1 >> 8) & 0xFF] ^ Te3[s2 & 0xFF] ^ rk[7];
    rk += 8;
    if (--r == 0) break;
    s0 = Te0[t0 >> 24] ^ Te1[(t1 >> 16) & 0xFF] ^ Te2[(t2 >> 8) & 0xFF] ^ Te3[t3 & 0xFF] ^ rk[0];
    s1 = Te0[t1 >> 24] ^ Te1[(t2 >> 16) & 0xFF] ^ Te2[(t3 >> 8) & 0xFF] ^ Te3[t0 & 0xFF] ^ rk[1];
    s2 = Te0[t2 >> 24] ^ Te1[(t3 >> 16) & 0xFF] ^ Te2[(t0 >> 8) & 0xFF] ^ Te3[t1 & 0xFF] ^ rk[2];
    s3 = Te0[t3 >> 24] ^ Te1[(t0 >> 16) & 0xFF] ^ Te2[(t1 >> 8) & 0xFF] ^ Te3[t2 & 0xFF] ^ rk[3];
  }
  s0 = (Te4[t0 >> 24] & 0xFF000000u) ^ (Te4[(t1 >> 16) & 0xFF] & 0x00FF0000u) ^ (Te4[(t2 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Te4[t3 & 0xFF] & 0xFFu) ^ rk[0];
  s1 = (Te4[t1 >> 24] & 0xFF000000u) ^ (Te4[(t2 >> 16) & 0xFF] & 0x00FF0000u) ^ (Te4[(t3 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Te4[t0 & 0xFF] & 0xFFu) ^ rk[1];
  s2 = (Te4[t2 >> 24] & 0xFF000000u) ^ (Te4[(t3 >> 16) & 0xFF] & 0x00FF0000u) ^ (Te4[(t0 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Te4[t1 & 0xFF] & 0xFFu) ^ rk[2];
  s3 = (Te4[t3 >> 24] & 0xFF000000u) ^ (Te4[(t0 >> 16) & 0xFF] & 0x00FF0000u) ^ (Te4[(t1 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Te4[t2 & 0xFF] & 0xFFu) ^ rk[3];
  portable::StoreBigEndian32(out, s0);
  portable::StoreBigEndian32(out + 4, s1);
  portable::StoreBigEndian32(out + 8, s2);
  portable::StoreBigEndian32(out + 12, s3);
}

void AesDecryptBlock(const std::uint32_t *rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  using portable::LoadBigEndian32;
  std::uint32_t s0 = portable::LoadBigEndian32(in) ^ rk[0], s1 = portable::LoadBigEndian32(in + 4) ^ rk[1];
  std::uint32_t s2 = portable::LoadBigEndian32(in + 8) ^ rk[2], s3 = portable::LoadBigEndian32(in + 12) ^ rk[3];
  std::uint32_t t0, t1, t2, t3;
  for (int r = rounds >> 1;;) {
    t0 = Td0[s0 >> 24] ^ Td1[(s3 >> 16) & 0xFF] ^ Td2[(s2 >> 8) & 0xFF] ^ Td3[s1 & 0xFF] ^ rk[4];
    t1 = Td0[s1 >> 24] ^ Td1[(s0 >> 16) & 0xFF] ^ Td2[(s3 >> 8) & 0xFF] ^ Td3[s2 & 0xFF] ^ rk[5];
    t2 = Td0[s2 >> 24] ^ Td1[(s1 >> 16) & 0xFF] ^ Td2[(s0 >> 8) & 0xFF] ^ Td3[s3 & 0xFF] ^ rk[6];
    t3 = Td0[s3 >> 24] ^ Td1[(s2 >> 16) & 0xFF] ^ Td2[(s1 >> 8) & 0xFF] ^ Td3[s0 & 0xFF] ^ rk[7];
    rk += 8;
    if (--r == 0) break;
    s0 = Td0[t0 >> 24] ^ Td1[(t3 >> 16) & 0xFF] ^ Td2[(t2 >> 8) & 0xFF] ^ Td3[t1 & 0xFF] ^ rk[0];
    s1 = Td0[t1 >> 24] ^ Td1[(t0 >> 16) & 0xFF] ^ Td2[(t3 >> 8) & 0xFF] ^ Td3[t2 & 0xFF] ^ rk[1];
    s2 = Td0[t2 >> 24] ^ Td1[(t1 >> 16) & 0xFF] ^ Td2[(t0 >> 8) & 0xFF] ^ Td3[t3 & 0xFF] ^ rk[2];
    s3 = Td0[t3 >> 24] ^ Td1[(t2 >> 16) & 0xFF] ^ Td2[(t1 >> 8) & 0xFF] ^ Td3[t0 & 0xFF] ^ rk[3];
  }
  s0 = (Td4[t0 >> 24] & 0xFF000000u) ^ (Td4[(t3 >> 16) & 0xFF] & 0x00FF0000u) ^ (Td4[(t2 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Td4[t1 & 0xFF] & 0xFFu) ^ rk[0];
  s1 = (Td4[t1 >> 24] & 0xFF000000u) ^ (Td4[(t0 >> 16) & 0xFF] & 0x00FF0000u) ^ (Td4[(t3 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Td4[t2 & 0xFF] & 0xFFu) ^ rk[1];
  s2 = (Td4[t2 >> 24] & 0xFF000000u) ^ (Td4[(t1 >> 16) & 0xFF] & 0x00FF0000u) ^ (Td4[(t0 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Td4[t3 & 0xFF] & 0xFFu) ^ rk[2];
  s3 = (Td4[t3 >> 24] & 0xFF000000u) ^ (Td4[(t2 >> 16) & 0xFF] & 0x00FF0000u) ^ (Td4[(t1 >> 8) & 0xFF] & 0x0000FF00u) ^
       (Td4[t0 & 0xFF] & 0xFFu) ^ rk[3];
  portable::StoreBigEndian32(out, s0);
  portable::StoreBigEndian32(out + 4, s1);
  portable::StoreBigEndian32(out + 8, s2);
  portable::StoreBigEndian32(out + 12, s3);
}

int AesSetKey(AesKeyInstance *key, std::uint8_t direction, std::int32_t keyLength, const char *keyText) {
  if (key == nullptr) return kAesNoInstance;
  if (direction != kAesEncrypt && direction != kAesDecrypt) return kAesBadDirection;
  key->direction = direction;
  if (keyLength != 128 && keyLength != 192 && keyLength != 256) return kAesBadKey;
  key->keyLength = keyLength;
  const int digits = keyLength / 4;
  if (keyText != nullptr) {
    int i = 0;
    for (; i < digits && keyText[i] != '\0'; ++i) key->keyDigits[i] = keyText[i];
    for (; i < digits; ++i) key->keyDigits[i] = '\0';
    // Only the key's own positions: the digits of a longer key stored before stay, for a
    // later call with null text. The field's last place always keeps its NUL.
  }
  key->keyDigits[sizeof key->keyDigits - 1] = '\0';
  std::uint8_t bytes[32];
  if (!ReadHex(key->keyDigits, bytes, keyLength / 8)) return kAesBadKey;
  if (direction == kAesDecrypt) {
    key->rounds = AesExpandDecryptKey(key->schedule, bytes, keyLength);
  } else {
    key->rounds = AesExpandEncryptKey(key->schedule, bytes, keyLength);
  }
  AesExpandEncryptKey(key->encryptSchedule, bytes, keyLength);
  volatile std::uint8_t *wipe = bytes;  // the key bytes stay only in the schedules
  for (int i = 0; i < 32; ++i) wipe[i] = 0;
  return kAesOk;
}

int AesSetMode(AesCipherInstance *cipher, std::uint8_t mode, const char *vectorText) {
  if (mode != kAesModeEcb && mode != kAesModeCfb1) return kAesBadMode;
  cipher->mode = mode;
  if (vectorText == nullptr) {
    std::memset(cipher->vector, 0, 16);
    return kAesOk;
  }
  return ReadHex(vectorText, cipher->vector, 16) ? kAesOk : kAesBadVector;
}

int AesEncryptBlocks(AesCipherInstance *cipher, const AesKeyInstance *key, const std::uint8_t *input,
                     std::int32_t lengthBits, std::uint8_t *output) {
  if (cipher == nullptr || key == nullptr || key->direction == kAesDecrypt) return kAesBadCipherState;
  if (input == nullptr || lengthBits <= 0) return 0;
  const std::size_t n = static_cast<std::size_t>(lengthBits / 128);
  switch (cipher->mode) {
    case kAesModeEcb: {
      const AesRounds rounds{key->schedule, key->rounds};
      crypto::EcbEncrypt(AesCipher(&rounds), input, output, n);
      break;
    }
    case kAesModeCfb1: {
      const AesRounds rounds{key->encryptSchedule, key->rounds};
      const AesFastPath *fast = FastPath();
      if (fast != nullptr) {
        fast->cfb1Encrypt(rounds, cipher->vector, input, output, 16 * n);
      } else {
        crypto::Cfb1Encrypt(AesCipher(&rounds), cipher->vector, input, output, 16 * n);
      }
      break;
    }
    default: return kAesBadCipherState;
  }
  return static_cast<int>(128 * n);
}

int AesDecryptBlocks(AesCipherInstance *cipher, const AesKeyInstance *key, const std::uint8_t *input,
                     std::int32_t lengthBits, std::uint8_t *output) {
  if (cipher == nullptr || key == nullptr) return kAesBadCipherState;
  if (cipher->mode != kAesModeCfb1 && key->direction == kAesEncrypt) return kAesBadCipherState;
  if (input == nullptr || lengthBits <= 0) return 0;
  const std::size_t n = static_cast<std::size_t>(lengthBits / 128);
  switch (cipher->mode) {
    case kAesModeEcb: {
      const AesRounds rounds{key->schedule, key->rounds};
      crypto::EcbDecrypt(AesCipher(&rounds), input, output, n);
      break;
    }
    case kAesModeCfb1: {
      // CFB-1 runs the cipher forwards in both directions.
      const AesRounds rounds{key->encryptSchedule, key->rounds};
      crypto::Cfb1Decrypt(AesCipher(&rounds), cipher->vector, input, output, 16 * n);
      break;
    }
    default: return kAesBadCipherState;
  }
  return static_cast<int>(128 * n);
}

}  // namespace ydr::crypto
