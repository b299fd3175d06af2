// RSA keys as the RSA exports take them: the Base64 text of a PKCS #1 DER key, written by
// libcrypto.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <vector>

namespace ydr::test {

inline std::string Base64(const std::vector<unsigned char> &bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char *>(text.data()), bytes.data(), static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// i2d_PublicKey gives the PKCS #1 RSAPublicKey, i2d_PrivateKey the RSAPrivateKey.
inline std::vector<unsigned char> Der(const EVP_PKEY *key, int (*encode)(const EVP_PKEY *, unsigned char **)) {
  unsigned char *der = nullptr;
  const int n = encode(key, &der);
  std::vector<unsigned char> bytes(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return bytes;
}

inline std::string KeyText(const EVP_PKEY *key, int (*encode)(const EVP_PKEY *, unsigned char **)) {
  return Base64(Der(key, encode));
}

}  // namespace ydr::test
