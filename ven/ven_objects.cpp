// Creating and releasing the key objects, and turning passwords into keys.
#include "ven/ven_objects.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/process.h"
#include "ydr/sha1.h"
#include "ydr/ven.h"

namespace ydr::ven {
namespace {

// The nonzero value whose rotation stands in for the byte before the first code unit of a
// kind 4 key string. It decides which key a password gives, so it never changes.
constexpr std::uint8_t kKind4Start = 0x5A;

inline std::uint8_t Rotl1(std::uint8_t b) { return static_cast<std::uint8_t>(b << 1 | b >> 7); }

std::size_t Units(const unsigned short *password) {
  std::size_t n = 0;
  while (password[n] != 0) ++n;
  return n;
}

// Releases a block after wiping it: key text, schedules and subkeys are secrets.
void WipeAndFree(void *block, std::size_t size) {
  if (block == nullptr) return;
  ydr::platform::Wipe(block, size);
  std::free(block);
}

}  // namespace

void MakeDigestPassword(const std::uint8_t *bytes, std::size_t n, char *output) {
  std::memset(output, 0, 45);
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  // The whole password is fed once per started 64 bytes of its length.
  for (std::size_t pass = 0; pass < (n + 63) / 64; ++pass) YDR_SHA1_Update(&info, bytes, static_cast<unsigned>(n));
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 20; ++i) {
    output[2 * i] = kDigits[digest[i] >> 4];
    output[2 * i + 1] = kDigits[digest[i] & 15];
  }
  ydr::platform::Wipe(&info, sizeof info);
  ydr::platform::Wipe(digest, sizeof digest);
}

void ByteFoldKey(const unsigned short *password, std::uint8_t key[8]) {
  std::uint8_t k[7] = {};
  const std::size_t units = Units(password);
  for (std::size_t i = 0; i < 2 * units; ++i) {
    const unsigned short unit = password[i / 2];
    const std::uint8_t byte = static_cast<std::uint8_t>(i % 2 == 0 ? unit & 0xFF : unit >> 8);  // low byte first
    k[i % 7] = Rotl1(static_cast<std::uint8_t>(k[i % 7] ^ byte));
  }
  // The 56 bits, most significant first, seven to a key byte in its high positions; the
  // parity position keeps the low bit of the fold byte of the same index (0 for the eighth).
  for (int m = 0; m < 8; ++m) {
    unsigned bits = 0;
    for (int b = 0; b < 7; ++b) {
      const int bit = 7 * m + b;
      bits = bits << 1 | ((k[bit / 8] >> (7 - bit % 8)) & 1);
    }
    key[m] = static_cast<std::uint8_t>(bits << 1 | (m < 7 ? k[m] & 1 : 0));
  }
  ydr::platform::Wipe(k, sizeof k);
}

void WordFoldKey(const unsigned short *password, std::uint8_t key[8]) {
  unsigned short w[4] = {};
  for (int i = 0; i < 40 && password[i] != 0; ++i) {
    w[i % 4] = static_cast<unsigned short>((w[i % 4] << 1) ^ password[i]);
  }
  for (int j = 0; j < 4; ++j) {
    key[2 * j] = static_cast<std::uint8_t>(w[j] & 0xFF);
    key[2 * j + 1] = static_cast<std::uint8_t>(w[j] >> 8);
  }
  ydr::platform::Wipe(w, sizeof w);
}

std::size_t Kind4KeyString(const unsigned short *password, std::uint8_t out[kKeyStringBytes]) {
  std::size_t n = Units(password);
  if (n > kPasswordUnits) n = kPasswordUnits;
  for (std::size_t i = 0; i < n; ++i) {
    // One stand-in per code unit, from the byte before it, so that no byte is zero.
    const std::uint8_t r = Rotl1(i == 0 ? kKind4Start : out[2 * i - 1]);
    const std::uint8_t high = static_cast<std::uint8_t>(password[i] >> 8);
    const std::uint8_t low = static_cast<std::uint8_t>(password[i] & 0xFF);
    out[2 * i] = high != 0 ? high : r;
    out[2 * i + 1] = low != 0 ? low : r;
  }
  return 2 * n;
}

}  // namespace ydr::ven

using namespace ydr::ven;

extern "C" YDR_API HVEN VENCreate(const unsigned short *password, unsigned int kind) {
  if (kind < 1 || kind > 4) return nullptr;
  void *block = std::calloc(1, sizeof(VENObject));
  if (block == nullptr) return nullptr;
  VENObject *ven = new (block) VENObject();
  ven->kind = kind;
  if (kind == kKindAesCfb1) {
    std::uint8_t keyString[kKeyStringBytes];
    const std::size_t n = Kind4KeyString(password, keyString);
    std::memset(ven->aes.keyText, 0, sizeof ven->aes.keyText);
    MakeDigestPassword(keyString, n, ven->aes.keyText);
    ydr::platform::Wipe(keyString, sizeof keyString);
    ydr::crypto::AesSetMode(&ven->aes.cipher, ydr::crypto::kAesModeCfb1, nullptr);
  } else {
    std::uint8_t key[8];
    if (kind == 3) {
      WordFoldKey(password, key);
    } else {
      ByteFoldKey(password, key);
    }
    ydr::crypto::DesSetKey(&ven->des, key);
    ydr::platform::Wipe(key, sizeof key);
  }
  return ven;
}

extern "C" YDR_API void VENRelease(HVEN ven) { WipeAndFree(ven, sizeof(VENObject)); }

extern "C" YDR_API HVENLVO VENLVOCreate(const unsigned short *password, unsigned int /*unused*/) {
  std::size_t units = 0;
  while (password[units] != 0) ++units;
  // The key is the first 16 bytes; a shorter password would leave it without key digits.
  if (units < 8) return nullptr;
  void *block = std::calloc(1, sizeof(VENLVOObject));
  if (block == nullptr) return nullptr;
  VENLVOObject *lvo = new (block) VENLVOObject();
  // Two digits per byte: the first kKeyTextChars / 2 bytes of the password fill the text.
  const std::size_t m = 2 * units < kKeyTextChars / 2 ? 2 * units : kKeyTextChars / 2;
  static const char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < m; ++i) {
    const unsigned short unit = password[i / 2];
    const unsigned byte = i % 2 == 0 ? unit & 0xFF : unit >> 8;
    lvo->keyText[2 * i] = kDigits[byte >> 4];
    lvo->keyText[2 * i + 1] = kDigits[byte & 15];
  }
  ydr::crypto::AesSetMode(&lvo->cipher, ydr::crypto::kAesModeEcb, nullptr);
  return lvo;
}

extern "C" YDR_API void VENLVORelease(HVENLVO lvo) { WipeAndFree(lvo, sizeof(VENLVOObject)); }

extern "C" YDR_API char *VENLVZMakePassword(const char *password, char *output) {
  MakeDigestPassword(reinterpret_cast<const std::uint8_t *>(password), std::strlen(password), output);
  return output;
}
