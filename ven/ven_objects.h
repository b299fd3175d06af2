// The key objects behind the VEN handles, and how a password becomes their key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/aes_engine.h"
#include "crypto/des_engine.h"

namespace ydr::ven {

// The block ciphers (crypto/) the documents are encrypted with.
using crypto::AesCipherInstance;
using crypto::AesKeyInstance;
using crypto::DesKeyState;

inline constexpr unsigned kKindAesCfb1 = 4;
inline constexpr int kNoSchedule = -1;

// A password gives at most 160 code units, two bytes each: the kind-4 key string and the
// VENLVO key text (two hexadecimal digits per byte of the first 80 units, plus a NUL).
inline constexpr std::size_t kPasswordUnits = 160;
inline constexpr std::size_t kKeyStringBytes = 2 * kPasswordUnits;  // 320
inline constexpr std::size_t kKeyTextChars = 2 * kPasswordUnits;    // 320
inline constexpr std::size_t kLvoKeyTextChars = kKeyTextChars + 1;  // with its terminator

struct AesState {
  AesKeyInstance key;
  AesCipherInstance cipher;
  char keyText[kKeyTextChars];
};

// The key instance's schedule is kept while its direction suits the next unit, instead of
// being rebuilt for every 16-byte unit; the results are the same since the key text of an
// object never changes.
struct ScheduleCache {
  int direction = kNoSchedule;
};

// Runs ceil(length / 16) units of `buffer` through AES in place, in the cipher's mode.
void AesUnits(AesKeyInstance *key, AesCipherInstance *cipher, const char *keyText, ScheduleCache *cache,
              std::uint8_t *buffer, int length, bool write);

// The 40-digit digest password of `n` bytes into output[45].
void MakeDigestPassword(const std::uint8_t *bytes, std::size_t n, char *output);

// The DES keys of kinds 1/2 and 3, and kind 4's key string, from a UTF-16 password.
void ByteFoldKey(const unsigned short *password, std::uint8_t key[8]);
void WordFoldKey(const unsigned short *password, std::uint8_t key[8]);
std::size_t Kind4KeyString(const unsigned short *password, std::uint8_t out[kKeyStringBytes]);

}  // namespace ydr::ven

// The handles' objects (opaque to callers).
struct VENObject {
  unsigned int kind;
  union {
    ydr::ven::DesKeyState des;  // kinds 1 to 3
    ydr::ven::AesState aes;     // kind 4
  };
  ydr::ven::ScheduleCache schedule;
};

struct VENLVOObject {
  ydr::ven::AesKeyInstance key;
  ydr::ven::AesCipherInstance cipher;
  char keyText[ydr::ven::kLvoKeyTextChars];
  ydr::ven::ScheduleCache schedule;
};
