// libcrypto as the RSA wrappers reach it: loaded on first use, every function found by its
// name, and the functions found are the real ones (they agree with libcrypto linked here).
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <vector>

#include "frame/crypto_library.h"
#include "frame/sibling_module.h"

namespace ydr::frame {
namespace {

TEST(CryptoLibraryTest, TheResolvedFunctionsAreLibcryptosOwn) {
  CryptoFunctions f{};
  ASSERT_TRUE(ResolveCryptoFunctions(&f));

  // A key made by the libcrypto linked here goes through the resolved functions: they parse
  // it, size it, and encrypt a block that the linked libcrypto decrypts.
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(1024), EVP_PKEY_free);
  ASSERT_NE(key, nullptr);
  unsigned char *der = nullptr;
  const int der_size = i2d_PublicKey(key.get(), &der);
  ASSERT_GT(der_size, 0);
  const unsigned char *cursor = der;
  EVP_PKEY *parsed = f.d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, der_size);
  OPENSSL_free(der);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(f.EVP_PKEY_get_base_id(parsed), EVP_PKEY_RSA);
  EXPECT_EQ(f.EVP_PKEY_get_size(parsed), 128);

  const std::vector<unsigned char> message = {'r', 'e', 's', 'o', 'l', 'v', 'e', 'd'};
  EVP_PKEY_CTX *ctx = f.EVP_PKEY_CTX_new(parsed, nullptr);
  ASSERT_GT(f.EVP_PKEY_encrypt_init(ctx), 0);
  ASSERT_GT(f.EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING), 0);
  std::vector<unsigned char> sealed(128);
  std::size_t sealed_size = sealed.size();
  ASSERT_GT(f.EVP_PKEY_encrypt(ctx, sealed.data(), &sealed_size, message.data(), message.size()), 0);
  f.EVP_PKEY_CTX_free(ctx);
  f.EVP_PKEY_free(parsed);

  EVP_PKEY_CTX *peer = EVP_PKEY_CTX_new(key.get(), nullptr);
  ASSERT_GT(EVP_PKEY_decrypt_init(peer), 0);
  ASSERT_GT(EVP_PKEY_CTX_set_rsa_padding(peer, RSA_PKCS1_PADDING), 0);
  std::vector<unsigned char> opened(128);
  std::size_t opened_size = opened.size();
  ASSERT_GT(EVP_PKEY_decrypt(peer, opened.data(), &opened_size, sealed.data(), sealed_size), 0);
  EVP_PKEY_CTX_free(peer);
  opened.resize(opened_size);
  EXPECT_EQ(opened, message);

  // A DER key that is not one is refused, and the error queue can be cleared.
  const unsigned char garbage[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  const unsigned char *p = garbage;
  EXPECT_EQ(f.d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, sizeof garbage), nullptr);
  f.ERR_clear_error();
  EXPECT_EQ(ERR_peek_error(), 0u);
  UnloadSiblingModules();
}

}  // namespace
}  // namespace ydr::frame
