// libcrypto as the RSA wrappers reach it: every declaration the library makes of it matches
// libcrypto's own, and the functions found by name are libcrypto's.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

#include <cstddef>
#include <memory>
#include <type_traits>

#include "imports/crypto_library.h"
#include "imports/sibling_module.h"

namespace ydr::imports {
namespace {

// The library declares libcrypto's interface itself (it is built without OpenSSL's headers);
// here, with them, every declaration is checked against the real one.
template <class Ours, class Theirs>
constexpr bool kSame = std::is_same_v<Ours, Theirs>;
static_assert(kSame<decltype(CryptoFunctions::d2i_PublicKey), decltype(&::d2i_PublicKey)>);
static_assert(kSame<decltype(CryptoFunctions::d2i_PrivateKey), decltype(&::d2i_PrivateKey)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_get_base_id), decltype(&::EVP_PKEY_get_base_id)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_get_size), decltype(&::EVP_PKEY_get_size)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_free), decltype(&::EVP_PKEY_free)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_CTX_new), decltype(&::EVP_PKEY_CTX_new)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_CTX_free), decltype(&::EVP_PKEY_CTX_free)>);
static_assert(
    kSame<decltype(CryptoFunctions::EVP_PKEY_CTX_set_rsa_padding), decltype(&::EVP_PKEY_CTX_set_rsa_padding)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_encrypt_init), decltype(&::EVP_PKEY_encrypt_init)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_encrypt), decltype(&::EVP_PKEY_encrypt)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_decrypt), decltype(&::EVP_PKEY_decrypt)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_sign), decltype(&::EVP_PKEY_sign)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_verify_recover), decltype(&::EVP_PKEY_verify_recover)>);
static_assert(kSame<decltype(CryptoFunctions::ERR_clear_error), decltype(&::ERR_clear_error)>);
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_new), decltype(&::EVP_PKEY_new)>);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static_assert(kSame<decltype(CryptoFunctions::EVP_PKEY_assign), decltype(&::EVP_PKEY_assign)>);
static_assert(kSame<decltype(CryptoFunctions::d2i_RSAPublicKey), decltype(&::d2i_RSAPublicKey)>);
static_assert(kSame<decltype(CryptoFunctions::d2i_RSAPrivateKey), decltype(&::d2i_RSAPrivateKey)>);
static_assert(kSame<decltype(CryptoFunctions::RSA_free), decltype(&::RSA_free)>);
#pragma GCC diagnostic pop
static_assert(crypto::kKeyTypeRsa == EVP_PKEY_RSA && crypto::kPkcs1Padding == RSA_PKCS1_PADDING);
static_assert(crypto::kParamUnsignedInteger == OSSL_PARAM_UNSIGNED_INTEGER &&
              crypto::kParamUnmodified == OSSL_PARAM_UNMODIFIED);
static_assert(sizeof(crypto::OSSL_PARAM) == sizeof(::OSSL_PARAM) &&
              offsetof(crypto::OSSL_PARAM, data_type) == offsetof(::OSSL_PARAM, data_type) &&
              offsetof(crypto::OSSL_PARAM, data) == offsetof(::OSSL_PARAM, data) &&
              offsetof(crypto::OSSL_PARAM, data_size) == offsetof(::OSSL_PARAM, data_size) &&
              offsetof(crypto::OSSL_PARAM, return_size) == offsetof(::OSSL_PARAM, return_size));

// The RSA tests use every function through the library; here the resolved functions are
// shown to work on a key made by the libcrypto linked here.
TEST(CryptoLibraryTest, TheResolvedFunctionsAreLibcryptosOwn) {
  CryptoFunctions f{};
  ASSERT_TRUE(ResolveCryptoFunctions(&f));
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(1024), EVP_PKEY_free);
  unsigned char *der = nullptr;
  const int der_size = i2d_PublicKey(key.get(), &der);
  const unsigned char *cursor = der;
  EVP_PKEY *parsed = f.d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, der_size);
  OPENSSL_free(der);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(f.EVP_PKEY_get_base_id(parsed), EVP_PKEY_RSA);
  EXPECT_EQ(f.EVP_PKEY_get_size(parsed), 128);
  EXPECT_EQ(EVP_PKEY_eq(parsed, key.get()), 1);
  f.EVP_PKEY_free(parsed);
  // A DER key that is not one is refused, and the error queue can be cleared.
  const unsigned char garbage[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  const unsigned char *p = garbage;
  EXPECT_EQ(f.d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, sizeof garbage), nullptr);
  f.ERR_clear_error();
  EXPECT_EQ(ERR_peek_error(), 0u);
  UnloadSiblingModules();
}

}  // namespace
}  // namespace ydr::imports
