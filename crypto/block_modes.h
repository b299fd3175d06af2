// The modes of operation and the padding, once for every block cipher. Each mode carries its
// chaining value (`chain`: one block) from call to call, so a message can be fed in pieces of
// whole blocks; in and out may be the same buffer.
//
// Where the blocks of a mode do not depend on one another (CBC and CFB decryption, CFB-1
// decryption, whose registers all come from the ciphertext), the cipher gets several at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace ydr::crypto {

void EcbEncrypt(const BlockCipher &cipher, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks);
void EcbDecrypt(const BlockCipher &cipher, const std::uint8_t *in, std::uint8_t *out, std::size_t blocks);
void CbcEncrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks);
void CbcDecrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks);
// OFB is its own inverse.
void OfbCrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
              std::size_t blocks);
// CFB with segments of one whole block.
void CfbEncrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks);
void CfbDecrypt(const BlockCipher &cipher, std::uint8_t *chain, const std::uint8_t *in, std::uint8_t *out,
                std::size_t blocks);
// CFB with one-bit segments over `bytes` bytes, most significant bit first: the top bit of
// the encrypted register meets the data bit, and the ciphertext bit enters the register
// from the right.
void Cfb1Encrypt(const BlockCipher &cipher, std::uint8_t *reg, const std::uint8_t *in, std::uint8_t *out,
                 std::size_t bytes);
void Cfb1Decrypt(const BlockCipher &cipher, std::uint8_t *reg, const std::uint8_t *in, std::uint8_t *out,
                 std::size_t bytes);

// PKCS padding of the last block, of which `used` bytes (less than a block) are message: the
// rest is filled with its own length, so a full last block gains a whole block of padding.
void PadPkcs(std::uint8_t *block, std::size_t used, std::size_t block_size);
// The message bytes of a decrypted last block, or false when its padding is not PKCS padding.
bool UnpadPkcs(const std::uint8_t *block, std::size_t block_size, std::size_t *used);

}  // namespace ydr::crypto
