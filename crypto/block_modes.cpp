#include "crypto/block_modes.h"

#include <cstring>

#include "portable/byte_order.h"

namespace ydr::crypto {
namespace {

// Blocks handed to the cipher at once where they are independent.
constexpr std::size_t kBatch = 8;

inline void Xor(std::uint8_t *out, const std::uint8_t *a, const std::uint8_t *b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
}

// Bytes of CFB-1 decryption done per call of the cipher: their 8 registers each are known in
// advance, so the cipher gets them all at once.
constexpr std::size_t kCfb1BatchBytes = 8;

// The CFB-1 shift register of an 8- or 16-byte block as big-endian 64-bit words (`high`
// unused for 8 bytes), so that shifting a bit in is two shifts, not a walk over the bytes.
class ShiftRegister {
 public:
  ShiftRegister(const std::uint8_t *bytes, std::size_t size) : size_(size) {
    if (size_ == 16) {
      high_ = portable::LoadBigEndian64(bytes);
      low_ = portable::LoadBigEndian64(bytes + 8);
    } else {
      low_ = portable::LoadBigEndian64(bytes);
    }
  }
  void Store(std::uint8_t *bytes) const {
    if (size_ == 16) {
      portable::StoreBigEndian64(bytes, high_);
      portable::StoreBigEndian64(bytes + 8, low_);
    } else {
      portable::StoreBigEndian64(bytes, low_);
    }
  }
  void ShiftIn(unsigned bit) {
    high_ = high_ << 1 | low_ >> 63;
    low_ = low_ << 1 | bit;
  }

 private:
  std::size_t size_;
  std::uint64_t high_ = 0, low_ = 0;
};

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
  ShiftRegister shift(reg, b);
  std::uint8_t block[kMaxBlockSize], stream[kMaxBlockSize];
  for (std::size_t i = 0; i < bytes; ++i) {
    const unsigned data = in[i];
    unsigned result = 0;
    for (int k = 7; k >= 0; --k) {
      shift.Store(block);
      cipher.Encrypt(block, stream, 1);
      const unsigned bit = ((data >> k) & 1) ^ (stream[0] >> 7);
      shift.ShiftIn(bit);
      result |= bit << k;
    }
    out[i] = static_cast<std::uint8_t>(result);
  }
  shift.Store(reg);
}

void Cfb1Decrypt(const BlockCipher &cipher, std::uint8_t *reg, const std::uint8_t *in, std::uint8_t *out,
                 std::size_t bytes) {
  const std::size_t b = cipher.block_size;
  ShiftRegister shift(reg, b);
  std::uint8_t regs[8 * kCfb1BatchBytes * kMaxBlockSize], stream[8 * kCfb1BatchBytes * kMaxBlockSize];
  while (bytes != 0) {
    const std::size_t n = bytes < kCfb1BatchBytes ? bytes : kCfb1BatchBytes;
    for (std::size_t j = 0; j < 8 * n; ++j) {
      shift.Store(regs + j * b);
      shift.ShiftIn((in[j / 8] >> (7 - j % 8)) & 1);
    }
    cipher.Encrypt(regs, stream, 8 * n);
    for (std::size_t i = 0; i < n; ++i) {
      unsigned keystream = 0;
      for (std::size_t j = 0; j < 8; ++j) keystream |= static_cast<unsigned>(stream[(8 * i + j) * b] >> 7) << (7 - j);
      out[i] = static_cast<std::uint8_t>(in[i] ^ keystream);
    }
    in += n;
    out += n;
    bytes -= n;
  }
  shift.Store(reg);
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
