// The RSA exports against libcrypto itself: keys generated here, handed over as Base64 DER
// text, every operation checked in both directions, and bad keys and inputs refused.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

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

  // The private-key operation alone, no padding removed.
  Bytes RawDecrypt(const Bytes &in) const {
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key.get(), nullptr);
    Bytes out(size);
    std::size_t n = out.size();
    const bool ok = EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) > 0 &&
                    EVP_PKEY_decrypt(ctx, out.data(), &n, in.data(), in.size()) > 0;
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

// The length of the message a decrypted block's type-2 padding frames (00 02, at least
// eight nonzero bytes, 00, the message), or YDR_RSA_FAILED when the padding is not valid.
unsigned PaddedMessageLength(const Bytes &block) {
  if (block.size() < 11 || block[0] != 0 || block[1] != 2) return YDR_RSA_FAILED;
  for (std::size_t i = 2; i < block.size(); ++i) {
    if (block[i] == 0) return i < 10 ? YDR_RSA_FAILED : static_cast<unsigned>(block.size() - i - 1);
  }
  return YDR_RSA_FAILED;
}

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
  // Never made-up output for a wrong key (libcrypto's implicit rejection stays off): the
  // block fails unless the wrong key's bare result happens to hold valid padding (about once
  // in 65 536 blocks), and then its message is what that padding frames.
  for (char fill = 'a'; fill < 'i'; ++fill) {
    const Bytes block = Call(YDR_RSA_Encrypt_PublicKey, Bytes(16, fill), keys.publicText, keys.size, &r);
    Call(YDR_RSA_Decrypt_PrivateKey, block, stranger.privateText, keys.size, &r);
    EXPECT_EQ(r, PaddedMessageLength(stranger.RawDecrypt(block))) << fill;
  }
  const Bytes signature = Call(YDR_RSA_Encrypt_PrivateKey, Bytes(16, 's'), keys.privateText, keys.size, &r);
  Call(YDR_RSA_Decrypt_PublicKey, signature, stranger.publicText, keys.size, &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
  Call(YDR_RSA_Decrypt_PublicKey, signature, other.publicText, std::max(keys.size, other.size), &r);
  EXPECT_EQ(r, YDR_RSA_FAILED);
}

// A block whose first byte is zero, handed over without it (as a host that keeps blocks as
// numbers does, once in 256 blocks), is the same number: both decryptions take it, as
// libcrypto does.
TEST_P(RsaTest, BlocksWithTheirLeadingZeroStrippedAreTheSameBlock) {
  const KeyPair &keys = Keys(GetParam());
  unsigned r = 0;
  // Encryption pads with random bytes: encrypt until a block starts with zero.
  const Bytes message = {'l', 'e', 'a', 'd'};
  Bytes sealed;
  for (int tries = 0; tries < 20000 && (sealed.empty() || sealed[0] != 0); ++tries) {
    sealed = Call(YDR_RSA_Encrypt_PublicKey, message, keys.publicText, keys.size, &r);
  }
  ASSERT_EQ(sealed.at(0), 0) << "no block with a leading zero in 20000 encryptions";
  const Bytes stripped(sealed.begin() + 1, sealed.end());
  EXPECT_EQ(keys.Peer(EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, stripped), message);
  EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, stripped, keys.privateText, keys.size, &r), message);
  EXPECT_EQ(r, message.size());

  // Signatures are fixed for a message: try messages until one's starts with zero.
  Bytes signed_message, signature;
  for (unsigned n = 0; n < 20000 && (signature.empty() || signature[0] != 0); ++n) {
    signed_message = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8), 's'};
    signature = Call(YDR_RSA_Encrypt_PrivateKey, signed_message, keys.privateText, keys.size, &r);
  }
  ASSERT_EQ(signature.at(0), 0) << "no signature with a leading zero in 20000 messages";
  const Bytes short_signature(signature.begin() + 1, signature.end());
  EXPECT_EQ(keys.Peer(EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, short_signature), signed_message);
  EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, short_signature, keys.publicText, keys.size, &r), signed_message);
}

INSTANTIATE_TEST_SUITE_P(KeySizes, RsaTest, ::testing::Values(1024u, 2048u),
                         [](const auto &info) { return std::to_string(info.param) + "Bits"; });

// The exports read a key exactly when libcrypto's key decoding for RSA does, whatever the
// form of the DER: the PKCS #1 structures, and the general forms (PKCS #8, SubjectPublicKeyInfo)
// of either kind.
TEST(RsaKeyTextTest, KeysAreReadWhereLibcryptoReadsThem) {
  static const KeyPair keys(1024);
  const auto der = [](int (*encode)(const EVP_PKEY *, unsigned char **), const EVP_PKEY *key) {
    return ydr::test::Der(key, encode);
  };
  const auto pkcs8 = [](const EVP_PKEY *key) {
    PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(key);
    unsigned char *bytes = nullptr;
    const int n = i2d_PKCS8_PRIV_KEY_INFO(info, &bytes);
    Bytes out(bytes, bytes + (n > 0 ? n : 0));
    OPENSSL_free(bytes);
    PKCS8_PRIV_KEY_INFO_free(info);
    return out;
  };
  struct Form {
    const char *what;
    Bytes der;
  };
  const Form forms[] = {
      {"PKCS #1 private", der(i2d_PrivateKey, keys.key.get())},
      {"PKCS #1 public", der(i2d_PublicKey, keys.key.get())},
      {"PKCS #8 private", pkcs8(keys.key.get())},
      {"SubjectPublicKeyInfo", der(i2d_PUBKEY, keys.key.get())},
  };
  const Bytes message(8, 'k');
  for (const Form &form : forms) {
    SCOPED_TRACE(form.what);
    for (const bool is_private : {false, true}) {
      const unsigned char *cursor = form.der.data();
      const long n = static_cast<long>(form.der.size());
      EVP_PKEY *parsed = is_private ? d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, n)
                                    : d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, n);
      const bool libcrypto_reads = parsed != nullptr;
      EVP_PKEY_free(parsed);
      ERR_clear_error();
      unsigned r = 0;
      Call(is_private ? YDR_RSA_Encrypt_PrivateKey : YDR_RSA_Encrypt_PublicKey, message, Base64(form.der), keys.size,
           &r);
      EXPECT_EQ(r != YDR_RSA_FAILED, libcrypto_reads) << (is_private ? "private" : "public");
    }
  }
}

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
