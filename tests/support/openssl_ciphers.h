// libcrypto's ciphers as the tests' peer, a whole message a call.
#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <vector>

namespace ydr::test {

// DES and SEED need the legacy provider beside the default one (the benchmarks ask too); both
// unloaded at exit, for the leak checker.
inline bool LoadLegacyProvider() {
  static const struct Providers {
    Providers() : legacy(OSSL_PROVIDER_load(nullptr, "legacy")), base(OSSL_PROVIDER_load(nullptr, "default")) {}
    ~Providers() {
      if (legacy != nullptr) OSSL_PROVIDER_unload(legacy);
      if (base != nullptr) OSSL_PROVIDER_unload(base);
    }
    OSSL_PROVIDER *legacy, *base;
  } providers;
  return providers.legacy != nullptr && providers.base != nullptr;
}

// `pad`: PKCS padding (block modes only); otherwise the message must fill whole blocks.
inline std::vector<unsigned char> OpenSslEncrypt(const char *name, const unsigned char *key, const unsigned char *iv,
                                                 const std::vector<unsigned char> &in, bool pad = false) {
  LoadLegacyProvider();
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (cipher == nullptr) return {};
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  std::vector<unsigned char> out(in.size() + 32);
  int n = 0, m = 0;
  EVP_EncryptInit_ex2(ctx, cipher, key, iv, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n, &m);
  out.resize(static_cast<std::size_t>(n + m));
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  return out;
}

}  // namespace ydr::test
