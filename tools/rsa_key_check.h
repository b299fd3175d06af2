// What `ydr rsa` asks of a key before it uses one. The library's exports take whatever key
// libcrypto reads; the command refuses keys whose operation would protect nothing or cannot
// work, and says why, rather than writing the plaintext out or blaming the padding.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <vector>

namespace ydr::tool {

inline constexpr int kMinModulusBits = 512;
inline constexpr int kMaxModulusBits = 16384;  // libcrypto's own limit for the RSA operation

// Why the RSA key cannot be used, as the end of a sentence ("the public exponent is 1; ..."),
// or empty when it can: a modulus below kMinModulusBits, above kMaxModulusBits or even; a
// public exponent below 3 or even. The same for public and private keys.
std::string UnusableRsaKeyReason(const EVP_PKEY *key);

// True when the file's bytes hold a PEM private key encrypted under a passphrase (PKCS #8
// "ENCRYPTED PRIVATE KEY", or a traditional key with an encrypted-PEM header).
bool IsPassphraseProtectedPem(const std::vector<unsigned char> &bytes);

}  // namespace ydr::tool
