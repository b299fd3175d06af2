// The RSA exports against libcrypto itself: keys generated here, handed over as Base64 DER
// text, every operation checked in both directions, and bad keys and inputs refused.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/rsa_key_text.h"
#include "ydr/rsa.h"

namespace {

using Bytes = std::vector<unsigned char>;

using ydr::test::Base64;

struct KeyPair {
  explicit KeyPair(unsigned bits) : key(EVP_RSA_gen(bits), EVP_PKEY_free) {
    publicText = ydr::test::KeyText(key.get(), i2d_PublicKey);
    privateDer = ydr::test::Der(key.get(), i2d_PrivateKey);
    privateText = Base64(privateDer);
    size = static_cast<std::size_t>(EVP_PKEY_get_size(key.get()));
  }

  // libcrypto's own operation on the parsed key.
  Bytes Peer(int (*init)(EVP_PKEY_CTX *),
             int (*op)(EVP_PKEY_CTX *, unsigned char *, std::size_t *, const unsigned char *, std::size_t),
             const Bytes &in) const {
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key.get(), nullptr);
    Bytes out(size);
    std::size_t n = out.size();
    const bool ok = init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                    op(ctx, out.data(), &n, in.data(), in.size()) > 0;
    EVP_PKEY_CTX_free(ctx);
    if (!ok) return {};
    out.resize(n);
    return out;
  }

  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key;
  std::string publicText, privateText;
  Bytes privateDer;
  std::size_t size = 0;
};

using Export = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);

Bytes Call(Export f, const Bytes &in, const std::string &keyText, std::size_t outSize, unsigned *result) {
  Bytes out(outSize + 64, 0xEE);
  *result = f(static_cast<unsigned>(in.size()), in.data(), out.data(), keyText.c_str());
  // Nothing is written beyond one modulus.
  for (std::size_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << i;
  out.resize(*result == YDR_RSA_FAILED ? 0 : *result);
  return out;
}

class RsaTest : public ::testing::TestWithParam<unsigned> {
 protected:
  static const KeyPair &Keys(unsigned bits) {
    static KeyPair k1024(1024), k2048(2048);
    return bits == 1024 ? k1024 : k2048;
  }
};

TEST_P(RsaTest, EveryOperationAgreesWithLibcryptoBothWays) {
  const KeyPair &keys = Keys(GetParam());
  std::mt19937 rng(GetParam());
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{20}, keys.size - 11}) {
    Bytes message(length);
    for (unsigned char &b : message) b = static_cast<unsigned char>(rng());
    unsigned r = 0;

    // Public encryption: libcrypto decrypts ours, we decrypt libcrypto's.
    const Bytes sealed = Call(YDR_RSA_Encrypt_PublicKey, message, keys.publicText, keys.size, &r);
    ASSERT_EQ(r, keys.size);
    EXPECT_EQ(keys.Peer(EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, sealed), message);
    const Bytes theirs = keys.Peer(EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, message);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, theirs, keys.privateText, keys.size, &r), message);
    EXPECT_EQ(r, length);

    // Private "encryption" is the raw PKCS #1 v1.5 signature: deterministic, so identical.
    const Bytes signature = Call(YDR_RSA_Encrypt_PrivateKey, message, keys.privateText, keys.size, &r);
    ASSERT_EQ(r, keys.size);
    EXPECT_EQ(signature, keys.Peer(EVP_PKEY_sign_init, EVP_PKEY_sign, message));
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, signature, keys.publicText, keys.size, &r), message);
    EXPECT_EQ(keys.Peer(EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, signature), message);
  }
}

TEST_P(RsaTest, WrongLengthsAndWrongKeysFail) {
  const KeyPair &keys = Keys(GetParam());
  const KeyPair &other = Keys(GetParam() == 1024 ? 2048 : 1024);
  unsigned r = 0;
  const Bytes tooLong(keys.size - 10, 'x');
  Call(YDR_RSA_Encrypt_PublicKey, tooLong, keys.publicText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
  Call(YDR_RSA_Encrypt_PrivateKey, tooLong, keys.privateText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);

  const Bytes sealed = Call(YDR_RSA_Encrypt_PublicKey, Bytes(16, 'm'), keys.publicText, keys.size, &r);
  ASSERT_EQ(r, keys.size);
  for (std::size_t size : {keys.size - 1, keys.size + 1}) {
    Bytes resized = sealed;
    resized.resize(size);
    Call(YDR_RSA_Decrypt_PrivateKey, resized, keys.privateText, keys.size + 1, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << size;
  }
  // A key of another pair (of the same size where the lengths would fit).
  const KeyPair stranger(GetParam());
  // Never made-up output for a wrong key (libcrypto's implicit rejection stays off). A
  // wrong key yields valid-looking padding only about once in 65 536 blocks.
  for (char fill = 'a'; fill < 'i'; ++fill) {
    const Bytes block = Call(YDR_RSA_Encrypt_PublicKey, Bytes(16, fill), keys.publicText, keys.size, &r);
    Call(YDR_RSA_Decrypt_PrivateKey, block, stranger.privateText, keys.size, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << fill;
  }
  const Bytes signature = Call(YDR_RSA_Encrypt_PrivateKey, Bytes(16, 's'), keys.privateText, keys.size, &r);
  Call(YDR_RSA_Decrypt_PublicKey, signature, stranger.publicText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
  Call(YDR_RSA_Decrypt_PublicKey, signature, other.publicText, std::max(keys.size, other.size), &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
}

INSTANTIATE_TEST_SUITE_P(KeySizes, RsaTest, ::testing::Values(1024u, 2048u),
                         [](const auto &info) { return std::to_string(info.param) + "Bits"; });

TEST(RsaKeyTextTest, AnythingButAKeyOfTheRightKindFails) {
  static const KeyPair keys(1024);
  const std::string truncated = keys.privateText.substr(0, keys.privateText.size() / 2);
  Bytes garbage(200);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>(i * 31 + 7);
  Bytes wrapped = keys.privateDer;  // a valid key followed by junk still parses; one cut short does not
  wrapped.resize(wrapped.size() - 1);
  struct Case {
    const char *what;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"not Base64", "MIIB*not-base64*"},
      {"padding inside", "MII=Bg"},
      {"truncated", truncated},
      {"garbage DER", Base64(garbage)},
      {"cut-short DER", Base64(wrapped)},
  };
  const Bytes message(8, 'k');
  const Bytes block(keys.size, 1);
  for (const Case &c : cases) {
    unsigned r = 0;
    Call(YDR_RSA_Encrypt_PublicKey, message, c.text, keys.size, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << c.what;
    Call(YDR_RSA_Encrypt_PrivateKey, message, c.text, keys.size, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << c.what;
    Call(YDR_RSA_Decrypt_PublicKey, block, c.text, keys.size, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << c.what;
    Call(YDR_RSA_Decrypt_PrivateKey, block, c.text, keys.size, &r);
    EXPECT_EQ(r, YDR_RSA_FAILED) << c.what;
  }
  // Keys of the other kind.
  unsigned r = 0;
  Call(YDR_RSA_Encrypt_PrivateKey, message, keys.publicText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
  Call(YDR_RSA_Encrypt_PublicKey, message, keys.privateText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
  // Null arguments.
  Bytes out(keys.size);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), out.data(), nullptr), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, nullptr, out.data(), keys.publicText.c_str()), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), nullptr, keys.publicText.c_str()), YDR_RSA_FAILED);
}

}  // namespace
