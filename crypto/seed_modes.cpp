// SEED's modes of operation and padding over the caller's record. Whole blocks go straight
// between the caller's buffers; only the first block of an Update passes through the record.
#include <cstdint>
#include <cstring>

#include "crypto/block_modes.h"
#include "crypto/seed_cipher.h"
#include "ydr/seed.h"

namespace ydr::crypto::seed {
namespace {

static_assert(sizeof(YDR_SEED_ALG_INFO) == 188, "the record's size is part of the interface");

enum class Direction { kEncrypt, kDecrypt };

bool KnownMode(unsigned int mode) { return mode >= YDR_SEED_MODE_ECB && mode <= YDR_SEED_MODE_CFB; }

// Transforms `count` whole blocks from in to out in the record's mode, carrying the chaining
// value. `in` may be the record's buffer; otherwise in and out are distinct buffers.
void TransformBlocks(YDR_SEED_ALG_INFO *info, Direction direction, const unsigned char *in, unsigned char *out,
                     std::size_t count) {
  const BlockCipher cipher = SeedCipher(info->roundKeys);
  const bool encrypt = direction == Direction::kEncrypt;
  switch (info->mode) {
    case YDR_SEED_MODE_ECB: return encrypt ? EcbEncrypt(cipher, in, out, count) : EcbDecrypt(cipher, in, out, count);
    case YDR_SEED_MODE_CBC:
      return encrypt ? CbcEncrypt(cipher, info->chain, in, out, count)
                     : CbcDecrypt(cipher, info->chain, in, out, count);
    case YDR_SEED_MODE_OFB: return OfbCrypt(cipher, info->chain, in, out, count);
    case YDR_SEED_MODE_CFB:
      return encrypt ? CfbEncrypt(cipher, info->chain, in, out, count)
                     : CfbDecrypt(cipher, info->chain, in, out, count);
    default: return;
  }
}

unsigned int Update(YDR_SEED_ALG_INFO *info, Direction direction, const unsigned char *input, unsigned int inputLength,
                    unsigned char *output, unsigned int *outputLength) {
  if (!KnownMode(info->mode) || info->bufferedLength > 16) return YDR_SEED_ERR_MODE;
  const unsigned int buffered = info->bufferedLength;
  const std::uint64_t total = std::uint64_t{buffered} + inputLength;
  *outputLength = static_cast<unsigned int>(total);
  // Encryption may flush a complete block at once; decryption keeps it until more arrives,
  // since the last block may carry padding that Final removes.
  const bool hold = direction == Direction::kEncrypt ? total < 16 : total <= 16;
  if (hold) {
    std::memcpy(info->buffer + buffered, input, inputLength);
    info->bufferedLength = static_cast<unsigned int>(total);
    *outputLength = 0;
    return YDR_SEED_OK;
  }
  if (input == output) return YDR_SEED_ERR_MODE;

  const unsigned int take = 16 - buffered;
  std::memcpy(info->buffer + buffered, input, take);
  TransformBlocks(info, direction, info->buffer, output, 1);
  input += take;
  output += 16;
  const std::uint64_t remaining = total - 16;
  std::uint64_t whole = remaining / 16;
  if (direction == Direction::kDecrypt && whole != 0 && remaining % 16 == 0) --whole;
  TransformBlocks(info, direction, input, output, static_cast<std::size_t>(whole));
  const unsigned int rest = static_cast<unsigned int>(remaining - 16 * whole);
  std::memcpy(info->buffer, input + 16 * whole, rest);
  info->bufferedLength = rest;
  *outputLength = static_cast<unsigned int>(16 + 16 * whole);
  return YDR_SEED_OK;
}

// OFB and CFB end the same way in both directions: the buffered bytes meet one more block of
// keystream. (CFB feeds the whole buffer back, as a full block would.)
unsigned int StreamFinal(YDR_SEED_ALG_INFO *info, unsigned char *output, unsigned int *outputLength) {
  const unsigned int n = info->bufferedLength;
  if (n > 16) return YDR_SEED_ERR_MODE;
  SeedCipher(info->roundKeys).Encrypt(info->chain, info->chain, 1);
  for (unsigned int i = 0; i < n; ++i) output[i] = static_cast<unsigned char>(info->buffer[i] ^ info->chain[i]);
  if (info->mode == YDR_SEED_MODE_CFB) {
    // The whole buffer goes back into the register, as a full block would.
    for (unsigned int i = 0; i < 16; ++i) info->chain[i] = static_cast<unsigned char>(info->chain[i] ^ info->buffer[i]);
  }
  *outputLength = n;
  return YDR_SEED_OK;
}

unsigned int Init(YDR_SEED_ALG_INFO *info) {
  info->bufferedLength = 0;
  if (info->mode != YDR_SEED_MODE_ECB) std::memcpy(info->chain, info->vector, 16);
  return YDR_SEED_OK;
}

}  // namespace
}  // namespace ydr::crypto::seed

using ydr::crypto::seed::Direction;

extern "C" YDR_API unsigned int YDR_SEED_KeySchedule(const unsigned char *key, unsigned int keyLength,
                                                     YDR_SEED_ALG_INFO *info) {
  if (keyLength != 16) return YDR_SEED_ERR_KEY_LENGTH;
  ydr::crypto::seed::KeySchedule(key, info->roundKeys);
  return YDR_SEED_OK;
}

extern "C" YDR_API void YDR_SEED_SetAlgInfo(unsigned int mode, unsigned int paddingType, const unsigned char *vector,
                                            YDR_SEED_ALG_INFO *info) {
  info->mode = mode;
  info->paddingType = paddingType;
  if (vector != nullptr) {
    std::memcpy(info->vector, vector, 16);
  } else {
    std::memset(info->vector, 0, 16);
  }
}

extern "C" YDR_API unsigned int YDR_SEED_EncInit(YDR_SEED_ALG_INFO *info) { return ydr::crypto::seed::Init(info); }

extern "C" YDR_API unsigned int YDR_SEED_DecInit(YDR_SEED_ALG_INFO *info) { return ydr::crypto::seed::Init(info); }

extern "C" YDR_API unsigned int YDR_SEED_EncUpdate(YDR_SEED_ALG_INFO *info, const unsigned char *input,
                                                   unsigned int inputLength, unsigned char *output,
                                                   unsigned int *outputLength) {
  return ydr::crypto::seed::Update(info, Direction::kEncrypt, input, inputLength, output, outputLength);
}

extern "C" YDR_API unsigned int YDR_SEED_DecUpdate(YDR_SEED_ALG_INFO *info, const unsigned char *input,
                                                   unsigned int inputLength, unsigned char *output,
                                                   unsigned int *outputLength) {
  return ydr::crypto::seed::Update(info, Direction::kDecrypt, input, inputLength, output, outputLength);
}

extern "C" YDR_API unsigned int YDR_SEED_EncFinal(YDR_SEED_ALG_INFO *info, unsigned char *output,
                                                  unsigned int *outputLength) {
  using namespace ydr::crypto::seed;
  switch (info->mode) {
    case YDR_SEED_MODE_ECB:
    case YDR_SEED_MODE_CBC: {
      const unsigned int b = info->bufferedLength;
      if (info->paddingType == YDR_SEED_PAD_NONE) {
        if (b != 0) return YDR_SEED_ERR_PARTIAL;
        *outputLength = 0;
        return YDR_SEED_OK;
      }
      if (info->paddingType != YDR_SEED_PAD_PKCS || b >= 16) return YDR_SEED_ERR_MODE;
      // A message that fills its last block still gains a whole block of padding, so the
      // padding can always be told from the message.
      ydr::crypto::PadPkcs(info->buffer, b, 16);
      TransformBlocks(info, Direction::kEncrypt, info->buffer, output, 1);
      *outputLength = 16;
      return YDR_SEED_OK;
    }
    case YDR_SEED_MODE_OFB:
    case YDR_SEED_MODE_CFB: return StreamFinal(info, output, outputLength);
    default: return YDR_SEED_ERR_MODE;
  }
}

extern "C" YDR_API unsigned int YDR_SEED_DecFinal(YDR_SEED_ALG_INFO *info, unsigned char *output,
                                                  unsigned int *outputLength) {
  using namespace ydr::crypto::seed;
  switch (info->mode) {
    case YDR_SEED_MODE_ECB:
    case YDR_SEED_MODE_CBC: {
      const unsigned int b = info->bufferedLength;
      if (b == 0) {
        *outputLength = 0;
        return YDR_SEED_OK;
      }
      if (b != 16) return YDR_SEED_ERR_CIPHERTEXT;
      TransformBlocks(info, Direction::kDecrypt, info->buffer, output, 1);
      if (info->paddingType == YDR_SEED_PAD_NONE) {
        *outputLength = 16;
        return YDR_SEED_OK;
      }
      if (info->paddingType != YDR_SEED_PAD_PKCS) return YDR_SEED_ERR_MODE;
      std::size_t used = 0;
      if (!ydr::crypto::UnpadPkcs(output, 16, &used)) return YDR_SEED_ERR_PADDING;
      *outputLength = static_cast<unsigned int>(used);
      return YDR_SEED_OK;
    }
    case YDR_SEED_MODE_OFB:
    case YDR_SEED_MODE_CFB: return StreamFinal(info, output, outputLength);
    default: return YDR_SEED_ERR_MODE;
  }
}
