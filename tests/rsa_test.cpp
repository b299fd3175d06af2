// The RSA exports against libcrypto itself: keys generated here, handed over as Base64 DER
// text, every operation checked in both directions, and bad keys and inputs refused.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <iterator>
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

  // libcrypto's own operation on the parsed key (RSA_NO_PADDING: the bare private-key operation).
  Bytes Peer(int (*init)(EVP_PKEY_CTX *),
             int (*op)(EVP_PKEY_CTX *, unsigned char *, std::size_t *, const unsigned char *, std::size_t),
             const Bytes &in, int padding = RSA_PKCS1_PADDING) const {
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key.get(), nullptr);
    Bytes out(size);
    std::size_t n = out.size();
    const bool ok = init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, padding) > 0 &&
                    op(ctx, out.data(), &n, in.data(), in.size()) > 0;
    EVP_PKEY_CTX_free(ctx);
    out.resize(ok ? n : 0);
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

// The export's result; what it wrote in *written. Nothing is written beyond `out_size`.
unsigned Call(Export f, const Bytes &in, const std::string &key_text, std::size_t out_size, Bytes *written = nullptr) {
  Bytes out(out_size + 64, 0xEE);
  const unsigned result = f(static_cast<unsigned>(in.size()), in.data(), out.data(), key_text.c_str());
  for (std::size_t i = out_size; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << i;
  out.resize(result == YDR_RSA_FAILED ? 0 : result);
  if (written != nullptr) *written = out;
  return result;
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
    Bytes message(length), sealed, opened, signature, recovered;
    for (unsigned char &b : message) b = static_cast<unsigned char>(rng());
    // Public encryption: libcrypto decrypts ours, we decrypt libcrypto's.
    ASSERT_EQ(Call(YDR_RSA_Encrypt_PublicKey, message, keys.publicText, keys.size, &sealed), keys.size);
    EXPECT_EQ(keys.Peer(EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, sealed), message);
    const Bytes theirs = keys.Peer(EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, message);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, theirs, keys.privateText, keys.size, &opened), length);
    EXPECT_EQ(opened, message);
    // Private "encryption" is the raw PKCS #1 v1.5 signature: deterministic, so identical.
    ASSERT_EQ(Call(YDR_RSA_Encrypt_PrivateKey, message, keys.privateText, keys.size, &signature), keys.size);
    EXPECT_EQ(signature, keys.Peer(EVP_PKEY_sign_init, EVP_PKEY_sign, message));
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, signature, keys.publicText, keys.size, &recovered), length);
    EXPECT_EQ(recovered, message);
    EXPECT_EQ(keys.Peer(EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, signature), message);
  }
}

TEST_P(RsaTest, WrongLengthsAndWrongKeysFail) {
  const KeyPair &keys = Keys(GetParam());
  const KeyPair &other = Keys(GetParam() == 1024 ? 2048 : 1024);
  const Bytes too_long(keys.size - 10, 'x');
  EXPECT_EQ(Call(YDR_RSA_Encrypt_PublicKey, too_long, keys.publicText, keys.size), YDR_RSA_FAILED);
  EXPECT_EQ(Call(YDR_RSA_Encrypt_PrivateKey, too_long, keys.privateText, keys.size), YDR_RSA_FAILED);
  Bytes sealed;
  ASSERT_EQ(Call(YDR_RSA_Encrypt_PublicKey, Bytes(16, 'm'), keys.publicText, keys.size, &sealed), keys.size);
  for (std::size_t size : {keys.size - 1, keys.size + 1}) {
    Bytes resized = sealed;
    resized.resize(size);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, resized, keys.privateText, keys.size + 1), YDR_RSA_FAILED) << size;
  }
  // A key of another pair (of the same size where the lengths would fit). Never made-up
  // output for a wrong key (libcrypto's implicit rejection stays off): the block fails unless
  // the wrong key's bare result happens to hold valid padding (about once in 65 536 blocks),
  // and then its message is what that padding frames.
  const KeyPair stranger(GetParam());
  for (char fill = 'a'; fill < 'i'; ++fill) {
    Bytes block;
    Call(YDR_RSA_Encrypt_PublicKey, Bytes(16, fill), keys.publicText, keys.size, &block);
    const Bytes bare = stranger.Peer(EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, block, RSA_NO_PADDING);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, block, stranger.privateText, keys.size), PaddedMessageLength(bare))
        << fill;
  }
  Bytes signature;
  Call(YDR_RSA_Encrypt_PrivateKey, Bytes(16, 's'), keys.privateText, keys.size, &signature);
  EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, signature, stranger.publicText, keys.size), YDR_RSA_FAILED);
  EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, signature, other.publicText, std::max(keys.size, other.size)),
            YDR_RSA_FAILED);
}

// A block whose first byte is zero, handed over without it (as a host that keeps blocks as
// numbers does, once in 256 blocks), is the same number: both decryptions take it, as
// libcrypto does.
TEST_P(RsaTest, BlocksWithTheirLeadingZeroStrippedAreTheSameBlock) {
  const KeyPair &keys = Keys(GetParam());
  // Encryption pads with random bytes: encrypt until a block starts with zero.
  const Bytes message = {'l', 'e', 'a', 'd'};
  Bytes sealed, opened;
  for (int tries = 0; tries < 20000 && (sealed.empty() || sealed[0] != 0); ++tries) {
    Call(YDR_RSA_Encrypt_PublicKey, message, keys.publicText, keys.size, &sealed);
  }
  ASSERT_EQ(sealed.at(0), 0) << "no block with a leading zero in 20000 encryptions";
  const Bytes stripped(sealed.begin() + 1, sealed.end());
  EXPECT_EQ(keys.Peer(EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, stripped), message);
  EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, stripped, keys.privateText, keys.size, &opened), message.size());
  EXPECT_EQ(opened, message);
  // Signatures are fixed for a message: try messages until one's starts with zero.
  Bytes signed_message, signature, recovered;
  for (unsigned n = 0; n < 20000 && (signature.empty() || signature[0] != 0); ++n) {
    signed_message = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8), 's'};
    Call(YDR_RSA_Encrypt_PrivateKey, signed_message, keys.privateText, keys.size, &signature);
  }
  ASSERT_EQ(signature.at(0), 0) << "no signature with a leading zero in 20000 messages";
  const Bytes short_signature(signature.begin() + 1, signature.end());
  EXPECT_EQ(keys.Peer(EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, short_signature), signed_message);
  Call(YDR_RSA_Decrypt_PublicKey, short_signature, keys.publicText, keys.size, &recovered);
  EXPECT_EQ(recovered, signed_message);
}

INSTANTIATE_TEST_SUITE_P(KeySizes, RsaTest, ::testing::Values(1024u, 2048u),
                         [](const auto &info) { return std::to_string(info.param) + "Bits"; });

// The exports read a key exactly when libcrypto's key decoding for RSA does, whatever the
// form of the DER: the PKCS #1 structures, and the general forms (PKCS #8,
// SubjectPublicKeyInfo), each offered as either kind.
TEST(RsaKeyTextTest, KeysAreReadWhereLibcryptoReadsThem) {
  static const KeyPair keys(1024);
  PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(keys.key.get());
  unsigned char *pkcs8 = nullptr;
  const int pkcs8_size = i2d_PKCS8_PRIV_KEY_INFO(info, &pkcs8);
  PKCS8_PRIV_KEY_INFO_free(info);
  const Bytes forms[] = {ydr::test::Der(keys.key.get(), i2d_PrivateKey), ydr::test::Der(keys.key.get(), i2d_PublicKey),
                         Bytes(pkcs8, pkcs8 + std::max(pkcs8_size, 0)), ydr::test::Der(keys.key.get(), i2d_PUBKEY)};
  OPENSSL_free(pkcs8);
  for (std::size_t form = 0; form < std::size(forms); ++form) {
    for (const bool is_private : {false, true}) {
      SCOPED_TRACE(testing::Message() << "form " << form << (is_private ? " as private" : " as public"));
      const unsigned char *cursor = forms[form].data();
      const long n = static_cast<long>(forms[form].size());
      EVP_PKEY *parsed = is_private ? d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, n)
                                    : d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, n);
      const bool libcrypto_reads = parsed != nullptr;
      EVP_PKEY_free(parsed);
      ERR_clear_error();
      const Export f = is_private ? YDR_RSA_Encrypt_PrivateKey : YDR_RSA_Encrypt_PublicKey;
      EXPECT_EQ(Call(f, Bytes(8, 'k'), Base64(forms[form]), keys.size) != YDR_RSA_FAILED, libcrypto_reads);
    }
  }
}

TEST(RsaKeyTextTest, AnythingButAKeyFails) {
  static const KeyPair keys(1024);
  Bytes garbage(200);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>(i * 31 + 7);
  Bytes cut_short = keys.privateDer;  // a valid key followed by junk still parses; one cut short does not
  cut_short.resize(cut_short.size() - 1);
  const std::string texts[] = {"",
                               "MIIB*not-base64*",
                               "MII=Bg",
                               keys.privateText.substr(0, keys.privateText.size() / 2),
                               Base64(garbage),
                               Base64(cut_short)};
  const Bytes message(8, 'k'), block(keys.size, 1);
  for (const std::string &text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Call(YDR_RSA_Encrypt_PublicKey, message, text, keys.size), YDR_RSA_FAILED);
    EXPECT_EQ(Call(YDR_RSA_Encrypt_PrivateKey, message, text, keys.size), YDR_RSA_FAILED);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PublicKey, block, text, keys.size), YDR_RSA_FAILED);
    EXPECT_EQ(Call(YDR_RSA_Decrypt_PrivateKey, block, text, keys.size), YDR_RSA_FAILED);
  }
  Bytes out(keys.size);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), out.data(), nullptr), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, nullptr, out.data(), keys.publicText.c_str()), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), nullptr, keys.publicText.c_str()), YDR_RSA_FAILED);
}

}  // namespace
