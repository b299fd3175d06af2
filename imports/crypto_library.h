// libcrypto (OpenSSL 3: libcrypto.so.3, on Windows libcrypto-3.dll) as the RSA wrappers use
// it: loaded on first use like every sibling module, its functions found by name.
//
// The library is never linked against libcrypto, so it needs none of its headers either:
// the few types, constants and signatures it calls are declared here as libcrypto's stable
// interface fixes them (opaque handles, OSSL_PARAM's layout, the key type and padding
// numbers). That keeps builds for other targets (32-bit, Windows) free of OpenSSL's headers,
// which exist there only for the machine's own architecture.
#pragma once

#include <cstddef>

#include "platform/loader.h"

// libcrypto's opaque handle types, declared as libcrypto itself declares them.
struct evp_pkey_st;
struct evp_pkey_ctx_st;
struct engine_st;
struct rsa_st;

namespace ydr::imports {

inline constexpr const char *kCryptoModuleName = platform::kCryptoModuleFileName;

namespace crypto {
using EVP_PKEY = ::evp_pkey_st;
using EVP_PKEY_CTX = ::evp_pkey_ctx_st;
using ENGINE = ::engine_st;
using RSA = ::rsa_st;
// A parameter record, laid out as libcrypto's OSSL_PARAM.
struct OSSL_PARAM {
  const char *key;
  unsigned int data_type;
  void *data;
  std::size_t data_size;
  std::size_t return_size;
};

inline constexpr int kKeyTypeRsa = 6;                                          // EVP_PKEY_RSA (NID_rsaEncryption)
inline constexpr int kPkcs1Padding = 1;                                        // RSA_PKCS1_PADDING
inline constexpr unsigned kParamUnsignedInteger = 2;                           // OSSL_PARAM_UNSIGNED_INTEGER
inline constexpr std::size_t kParamUnmodified = static_cast<std::size_t>(-1);  // OSSL_PARAM_UNMODIFIED
}  // namespace crypto

struct CryptoFunctions {
  using EVP_PKEY = crypto::EVP_PKEY;
  using EVP_PKEY_CTX = crypto::EVP_PKEY_CTX;
  using RSA = crypto::RSA;
  using Transform = int (*)(EVP_PKEY_CTX *, unsigned char *, std::size_t *, const unsigned char *, std::size_t);

  EVP_PKEY *(*d2i_PublicKey)(int, EVP_PKEY **, const unsigned char **, long);   // PKCS #1 RSAPublicKey DER
  EVP_PKEY *(*d2i_PrivateKey)(int, EVP_PKEY **, const unsigned char **, long);  // PKCS #1 RSAPrivateKey DER
  int (*EVP_PKEY_get_base_id)(const EVP_PKEY *);
  int (*EVP_PKEY_get_size)(const EVP_PKEY *);
  void (*EVP_PKEY_free)(EVP_PKEY *);
  EVP_PKEY_CTX *(*EVP_PKEY_CTX_new)(EVP_PKEY *, crypto::ENGINE *);
  void (*EVP_PKEY_CTX_free)(EVP_PKEY_CTX *);
  int (*EVP_PKEY_CTX_set_rsa_padding)(EVP_PKEY_CTX *, int);
  int (*EVP_PKEY_encrypt_init)(EVP_PKEY_CTX *);
  Transform EVP_PKEY_encrypt;
  int (*EVP_PKEY_decrypt_init)(EVP_PKEY_CTX *);
  Transform EVP_PKEY_decrypt;
  int (*EVP_PKEY_sign_init)(EVP_PKEY_CTX *);  // private-key "encryption"
  Transform EVP_PKEY_sign;
  int (*EVP_PKEY_verify_recover_init)(EVP_PKEY_CTX *);  // public-key "decryption"
  Transform EVP_PKEY_verify_recover;
  void (*ERR_clear_error)();
  int (*EVP_PKEY_CTX_set_params)(EVP_PKEY_CTX *, const crypto::OSSL_PARAM *);
  // The PKCS #1 key readers themselves, and a key object made around what they read: the
  // same structures as d2i_PublicKey and d2i_PrivateKey read for RSA, without libcrypto's
  // generic decoder machinery, which costs more than the private-key operation's setup.
  RSA *(*d2i_RSAPublicKey)(RSA **, const unsigned char **, long);
  RSA *(*d2i_RSAPrivateKey)(RSA **, const unsigned char **, long);
  void (*RSA_free)(RSA *);
  EVP_PKEY *(*EVP_PKEY_new)();
  int (*EVP_PKEY_assign)(EVP_PKEY *, int, void *);
};

// Fills every function, loading libcrypto on first use. False when the library cannot be
// found (the missing-module message has been shown) or lacks one of the functions; the
// caller then fails with its ordinary failure result.
bool ResolveCryptoFunctions(CryptoFunctions *functions);

}  // namespace ydr::imports
