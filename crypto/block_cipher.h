// A block cipher as the modes of operation see it: a scheduled key and two transforms of
// whole buffers of consecutive blocks, in the CPU variant chosen once at run time. SEED,
// AES and DES each give one (crypto/seed_cipher.h, crypto/aes_engine.h, crypto/des_engine.h);
// ECB, CBC, OFB, CFB, CFB-1 and the padding are written once over it (crypto/block_modes.h).
//
// A transform takes any number of blocks at once, so that a cipher can work on several
// independent blocks side by side (its rounds are one long chain of dependent steps), and
// the modes hand it as many as they can.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::crypto {

struct BlockCipher {
  // `blocks` consecutive blocks from `in` to `out`, which may be the same buffer.
  using Transform = void (*)(const void *key, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks);

  std::size_t block_size;  // bytes: 16 (SEED, AES) or 8 (DES)
  const void *key;         // the cipher's own scheduled key
  Transform encrypt;
  Transform decrypt;

  void Encrypt(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const { encrypt(key, in, out, blocks); }
  void Decrypt(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const { decrypt(key, in, out, blocks); }
};

// The most bytes in one block of any cipher here.
inline constexpr std::size_t kMaxBlockSize = 16;

}  // namespace ydr::crypto
