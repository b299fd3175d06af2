// libcrypto (OpenSSL 3, libcrypto.so.3) as the RSA wrappers use it: loaded on first use like
// every sibling module, its functions found by name.
#pragma once

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

namespace ydr::frame {

inline constexpr const char *kCryptoModuleName = "libcrypto.so.3";

struct CryptoFunctions {
  decltype(&::d2i_PublicKey) d2i_PublicKey;    // PKCS #1 RSAPublicKey DER
  decltype(&::d2i_PrivateKey) d2i_PrivateKey;  // PKCS #1 RSAPrivateKey DER
  decltype(&::EVP_PKEY_get_base_id) EVP_PKEY_get_base_id;
  decltype(&::EVP_PKEY_get_size) EVP_PKEY_get_size;
  decltype(&::EVP_PKEY_free) EVP_PKEY_free;
  decltype(&::EVP_PKEY_CTX_new) EVP_PKEY_CTX_new;
  decltype(&::EVP_PKEY_CTX_free) EVP_PKEY_CTX_free;
  decltype(&::EVP_PKEY_CTX_set_rsa_padding) EVP_PKEY_CTX_set_rsa_padding;
  decltype(&::EVP_PKEY_encrypt_init) EVP_PKEY_encrypt_init;
  decltype(&::EVP_PKEY_encrypt) EVP_PKEY_encrypt;
  decltype(&::EVP_PKEY_decrypt_init) EVP_PKEY_decrypt_init;
  decltype(&::EVP_PKEY_decrypt) EVP_PKEY_decrypt;
  decltype(&::EVP_PKEY_sign_init) EVP_PKEY_sign_init;  // private-key "encryption"
  decltype(&::EVP_PKEY_sign) EVP_PKEY_sign;
  decltype(&::EVP_PKEY_verify_recover_init) EVP_PKEY_verify_recover_init;  // public-key "decryption"
  decltype(&::EVP_PKEY_verify_recover) EVP_PKEY_verify_recover;
  decltype(&::ERR_clear_error) ERR_clear_error;
  decltype(&::EVP_PKEY_CTX_set_params) EVP_PKEY_CTX_set_params;
  // The PKCS #1 key readers themselves, and a key object made around what they read: the
  // same structures as d2i_PublicKey and d2i_PrivateKey read for RSA, without libcrypto's
  // generic decoder machinery, which costs more than the private-key operation's setup.
  // (Declared here: libcrypto marks them deprecated in favour of that machinery.)
  RSA *(*d2i_RSAPublicKey)(RSA **, const unsigned char **, long);
  RSA *(*d2i_RSAPrivateKey)(RSA **, const unsigned char **, long);
  void (*RSA_free)(RSA *);
  decltype(&::EVP_PKEY_new) EVP_PKEY_new;
  int (*EVP_PKEY_assign)(EVP_PKEY *, int, void *);
};

// Fills every function, loading libcrypto on first use. False when the library cannot be
// found (the missing-module message has been shown) or lacks one of the functions; the
// caller then fails with its ordinary failure result.
bool ResolveCryptoFunctions(CryptoFunctions *functions);

}  // namespace ydr::frame
