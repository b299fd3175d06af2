#include "crypto/block_modes.h"

#include <cstring>

namespace ydr::crypto {
namespace {

// Blocks handed to the cipher at once where they are independent.
constexpr std::size_t kBatch = 8;

inline void Xor(std::uint8_t *out, const std::uint8_t *a, const std::uint8_t *b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
}

// The register shifted left by one bit, `bit` entering at the right.
inline void ShiftInBit(std::uint8_t *reg, std::size_t size, unsigned bit) {
  for (std::size_t i = 0; i + 1 < size; ++i) reg[i] = static_cast<std::uint8_t>(reg[i] << 1 | reg[i + 1] >> 7);
  reg[size - 1] = static_cast<std::uint8_t>(reg[size - 1] << 1 | bit);
}

}  // namespace

void EcbEncrypt(const BlockCipher &cipher, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  cipher.Encrypt(in, out, blocks);
}

void EcbDecrypt(const BlockCipher &cipher, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) {
  cipher.Decrypt(in, out, blocks);
}

void CbcEncrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks) {
  const std::size_t b = cipher.block_size;
  for (; blocks != 0; --blocks, in += b, out += b) {
    Xor(chain, chain, in, b);
    cipher.Encrypt(chain, chain, 1);
    std::memcpy(out, chain, b);
  }
}

void CbcDecrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks) {
  const std::size_t b = cipher.block_size;
  while (blocks != 0) {
    // The ciphertext is kept aside first, in case the caller's buffers are the same.
    const std::size_t n = blocks < kBatch ? blocks : kBatch;
    std::uint8_t cipher_text[kBatch * kMaxBlockSize], plain[kBatch * kMaxBlockSize];
    std::memcpy(cipher_text, in, n * b);
    cipher.Decrypt(cipher_text, plain, n);
    Xor(out, plain, chain, b);
    Xor(out + b, plain + b, cipher_text, (n - 1) * b);
    std::memcpy(chain, cipher_text + (n - 1) * b, b);
    in += n * b;
    out += n * b;
    blocks -= n;
  }
}

void OfbCrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
              std::size_t blocks) {
  const std::size_t b = cipher.block_size;
  for (; blocks != 0; --blocks, in += b, out += b) {
    cipher.Encrypt(chain, chain, 1);
    Xor(out, in, chain, b);
  }
}

void CfbEncrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks) {
  const std::size_t b = cipher.block_size;
  for (; blocks != 0; --blocks, in += b, out += b) {
    cipher.Encrypt(chain, chain, 1);
    Xor(chain, chain, in, b);
    std::memcpy(out, chain, b);
  }
}

void CfbDecrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks) {
  const std::size_t b = cipher.block_size;
  while (blocks != 0) {
    // The keystream comes from ciphertext already at hand.
    const std::size_t n = blocks < kBatch ? blocks : kBatch;
    std::uint8_t feed[kBatch * kMaxBlockSize], stream[kBatch * kMaxBlockSize], cipher_text[kBatch * kMaxBlockSize];
    std::memcpy(cipher_text, in, n * b);
    std::memcpy(feed, chain, b);
    std::memcpy(feed + b, cipher_text, (n - 1) * b);
    cipher.Encrypt(feed, stream, n);
    Xor(out, stream, cipher_text, n * b);
    std::memcpy(chain, cipher_text + (n - 1) * b, b);
    in += n * b;
    out += n * b;
    blocks -= n;
  }
}

void Cfb1Encrypt(const BlockCipher &cipher, std::uint8_t *reg, const std::uint8_t *in, std::uint8_t *out,
                 std::size_t bytes) {
  const std::size_t b = cipher.block_size;
  for (std::size_t i = 0; i < bytes; ++i) {
    unsigned result = 0;
    for (int k = 7; k >= 0; --k) {
      std::uint8_t stream[kMaxBlockSize];
      cipher.Encrypt(reg, stream, 1);
      const unsigned bit = ((in[i] >> k) & 1) ^ (stream[0] >> 7);
      ShiftInBit(reg, b, bit);
      result |= bit << k;
    }
    out[i] = static_cast<std::uint8_t>(result);
  }
}

void Cfb1Decrypt(const BlockCipher &cipher, std::uint8_t *reg, const std::uint8_t *in, std::uint8_t *out,
                 std::size_t bytes) {
  // Every register is known from the ciphertext in advance: one byte's eight registers go
  // to the cipher at once.
  const std::size_t b = cipher.block_size;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::uint8_t cipher_byte = in[i];
    std::uint8_t regs[8 * kMaxBlockSize], stream[8 * kMaxBlockSize];
    for (int j = 0; j < 8; ++j) {
      std::memcpy(regs + j * b, reg, b);
      ShiftInBit(reg, b, (cipher_byte >> (7 - j)) & 1);
    }
    cipher.Encrypt(regs, stream, 8);
    unsigned keystream = 0;
    for (int j = 0; j < 8; ++j) keystream |= static_cast<unsigned>(stream[j * b] >> 7) << (7 - j);
    out[i] = static_cast<std::uint8_t>(cipher_byte ^ keystream);
  }
}

void PadPkcs(std::uint8_t *block, std::size_t used, std::size_t block_size) {
  const std::size_t pad = block_size - used;
  std::memset(block + used, static_cast<int>(pad), pad);
}

bool UnpadPkcs(const std::uint8_t *block, std::size_t block_size, std::size_t *used) {
  const std::size_t pad = block[block_size - 1];
  if (pad == 0 || pad > block_size) return false;
  for (std::size_t i = block_size - pad; i < block_size; ++i) {
    if (block[i] != pad) return false;
  }
  *used = block_size - pad;
  return true;
}

}  // namespace ydr::crypto
