// The in-place block transforms of the key objects.
#include <cstring>

#include "crypto/block_modes.h"
#include "ven/ven_objects.h"
#include "ydr/ven.h"

namespace ydr::ven {

void AesUnits(AesKeyInstance *key, AesCipherInstance *cipher, const char *keyText, ScheduleCache *cache,
              std::uint8_t *buffer, int length, bool write) {
  // ECB needs the schedule of its direction. CFB-1 uses the encryption schedule both ways,
  // and the decryption transform accepts a key set for encryption, so one setting serves.
  const int direction =
      cipher->mode == ydr::crypto::kAesModeCfb1 || write ? ydr::crypto::kAesEncrypt : ydr::crypto::kAesDecrypt;
  if (cache->direction != direction) {
    if (ydr::crypto::AesSetKey(key, static_cast<std::uint8_t>(direction), 128, keyText) != ydr::crypto::kAesOk) {
      cache->direction = kNoSchedule;
      return;  // no key schedule: the units are left as they are
    }
    cache->direction = direction;
  }
  // Lengths are counted in bits as signed 32-bit numbers, so large buffers go in slices.
  constexpr std::size_t kSliceUnits = std::size_t{1} << 20;
  std::size_t units = (static_cast<std::size_t>(length) + 15) / 16;
  while (units != 0) {
    const std::size_t n = units < kSliceUnits ? units : kSliceUnits;
    const std::int32_t bits = static_cast<std::int32_t>(128 * n);
    if (write) {
      ydr::crypto::AesEncryptBlocks(cipher, key, buffer, bits, buffer);
    } else {
      ydr::crypto::AesDecryptBlocks(cipher, key, buffer, bits, buffer);
    }
    buffer += 16 * n;
    units -= n;
  }
}

}  // namespace ydr::ven

namespace {

using namespace ydr::ven;

// Lengths are taken in whole 8-byte steps; below 8 (or negative) nothing happens.
int WorkingLength(int length) { return length & ~7; }

void VenBlocks(HVEN ven, unsigned char *buffer, int length, bool write) {
  const int work = WorkingLength(length);
  if (work <= 0) return;
  if (ven->kind == kKindAesCfb1) {
    AesUnits(&ven->aes.key, &ven->aes.cipher, ven->aes.keyText, &ven->schedule, buffer, work, write);
    return;
  }
  const ydr::crypto::BlockCipher des = ydr::crypto::DesCipher(&ven->des);
  const std::size_t blocks = static_cast<std::size_t>(work) / 8;
  write ? ydr::crypto::EcbEncrypt(des, buffer, buffer, blocks) : ydr::crypto::EcbDecrypt(des, buffer, buffer, blocks);
}

void LvoBlocks(HVENLVO lvo, unsigned char *buffer, int length, bool write) {
  const int work = WorkingLength(length);
  if (work <= 0) return;
  AesUnits(&lvo->key, &lvo->cipher, lvo->keyText, &lvo->schedule, buffer, work, write);
}

}  // namespace

extern "C" YDR_API void VENWriteBlock(HVEN ven, unsigned char *buffer, int length) {
  VenBlocks(ven, buffer, length, true);
}
extern "C" YDR_API void VENReadBlock(HVEN ven, unsigned char *buffer, int length) {
  VenBlocks(ven, buffer, length, false);
}
extern "C" YDR_API void VENLVOWriteBlock(HVENLVO lvo, unsigned char *buffer, int length) {
  LvoBlocks(lvo, buffer, length, true);
}
extern "C" YDR_API void VENLVOReadBlock(HVENLVO lvo, unsigned char *buffer, int length) {
  LvoBlocks(lvo, buffer, length, false);
}
