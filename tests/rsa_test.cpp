// The RSA exports against libcrypto's own operations on keys made here, bad keys and inputs
// refused; and the library's own declarations of libcrypto against libcrypto's headers.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imports/crypto_library.h"
#include "tests/support/bytes.h"
#include "tests/support/rsa_key_text.h"
#include "ydr/rsa.h"

namespace ydr::imports {

// The library is built without OpenSSL's headers and declares what it calls itself: each member
// takes libcrypto's function only if their types are the same (set_params's record: below).
template <typename... Function>
constexpr CryptoFunctions Table(Function... functions) {
  return {functions...};
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
[[maybe_unused]] constexpr CryptoFunctions kDeclaredAsLibcryptoDoes =
    Table(&::d2i_PublicKey, &::d2i_PrivateKey, &::EVP_PKEY_get_base_id, &::EVP_PKEY_get_size, &::EVP_PKEY_free,
          &::EVP_PKEY_CTX_new, &::EVP_PKEY_CTX_free, &::EVP_PKEY_CTX_set_rsa_padding, &::EVP_PKEY_encrypt_init,
          &::EVP_PKEY_encrypt, &::EVP_PKEY_decrypt_init, &::EVP_PKEY_decrypt, &::EVP_PKEY_sign_init, &::EVP_PKEY_sign,
          &::EVP_PKEY_verify_recover_init, &::EVP_PKEY_verify_recover, &::ERR_clear_error, nullptr, &::d2i_RSAPublicKey,
          &::d2i_RSAPrivateKey, &::RSA_free, &::EVP_PKEY_new, &::EVP_PKEY_assign);
#pragma GCC diagnostic pop
static_assert(crypto::kKeyTypeRsa == EVP_PKEY_RSA && crypto::kPkcs1Padding == RSA_PKCS1_PADDING);
static_assert(crypto::kParamUnsignedInteger == OSSL_PARAM_UNSIGNED_INTEGER &&
              crypto::kParamUnmodified == OSSL_PARAM_UNMODIFIED);
static_assert(sizeof(crypto::OSSL_PARAM) == sizeof(::OSSL_PARAM) &&
              offsetof(crypto::OSSL_PARAM, data_type) == offsetof(::OSSL_PARAM, data_type) &&
              offsetof(crypto::OSSL_PARAM, data) == offsetof(::OSSL_PARAM, data) &&
              offsetof(crypto::OSSL_PARAM, data_size) == offsetof(::OSSL_PARAM, data_size) &&
              offsetof(crypto::OSSL_PARAM, return_size) == offsetof(::OSSL_PARAM, return_size));

}  // namespace ydr::imports

namespace {

using Bytes = std::vector<unsigned char>;
using ydr::test::Base64;
using Export = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);
using PeerInit = int (*)(EVP_PKEY_CTX *);
using PeerOp = int (*)(EVP_PKEY_CTX *, unsigned char *, std::size_t *, const unsigned char *, std::size_t);

struct KeyPair {
  explicit KeyPair(unsigned bits) : key(EVP_RSA_gen(bits), EVP_PKEY_free) {
    privateDer = ydr::test::Der(key.get(), i2d_PrivateKey);
    text[0] = ydr::test::KeyText(key.get(), i2d_PublicKey);
    text[1] = Base64(privateDer);
    size = static_cast<std::size_t>(EVP_PKEY_get_size(key.get()));
  }

  // libcrypto's own operation on the parsed key (RSA_NO_PADDING: the bare operation).
  Bytes Peer(PeerInit init, PeerOp op, const Bytes &in, int padding = RSA_PKCS1_PADDING) const {
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
  Bytes privateDer;
  std::string text[2];  // public, private
  std::size_t size = 0;
};

const KeyPair &Keys() {
  static const KeyPair keys(2048);
  return keys;
}

// A pair of exports, the second undoing the first, and libcrypto's same operations.
struct Way {
  const char *name;
  Export seal, open;
  bool seal_private;  // the first takes the private key, the second the public one
  unsigned char block_type;
  PeerInit peer_seal_init, peer_open_init;
  PeerOp peer_seal, peer_open;
};
const Way kWays[] = {{"encryption", YDR_RSA_Encrypt_PublicKey, YDR_RSA_Decrypt_PrivateKey, false, 2,
                      EVP_PKEY_encrypt_init, EVP_PKEY_decrypt_init, EVP_PKEY_encrypt, EVP_PKEY_decrypt},
                     {"signature", YDR_RSA_Encrypt_PrivateKey, YDR_RSA_Decrypt_PublicKey, true, 1, EVP_PKEY_sign_init,
                      EVP_PKEY_verify_recover_init, EVP_PKEY_sign, EVP_PKEY_verify_recover}};

// The length of the message a bare block's PKCS #1 padding of the given type frames, or failed.
unsigned PaddedMessageLength(const Bytes &block, unsigned char type) {
  if (block.size() < 11 || block[0] != 0 || block[1] != type) return YDR_RSA_FAILED;
  for (std::size_t i = 2; i < block.size(); ++i) {
    if (block[i] == 0) return i < 10 ? YDR_RSA_FAILED : static_cast<unsigned>(block.size() - i - 1);
    if (type == 1 && block[i] != 0xFF) return YDR_RSA_FAILED;
  }
  return YDR_RSA_FAILED;
}

// The export's result; what it wrote in *written. Nothing is written beyond `out_size`, and
// nothing is left in libcrypto's error queue, failed or not.
unsigned Call(Export f, const Bytes &in, const std::string &key_text, std::size_t out_size, Bytes *written = nullptr) {
  Bytes out(out_size + 64, 0xEE);
  ERR_clear_error();  // anything the test's own libcrypto calls left
  const unsigned result = f(static_cast<unsigned>(in.size()), in.data(), out.data(), key_text.c_str());
  EXPECT_EQ(ERR_peek_error(), 0u) << "left in the error queue: " << ERR_reason_error_string(ERR_peek_error());
  for (std::size_t i = out_size; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << i;
  out.resize(result == YDR_RSA_FAILED ? 0 : result);
  if (written != nullptr) *written = out;
  return result;
}

// Each way against libcrypto both ways, its wrong lengths and another pair's key refused.
TEST(RsaTest, EachWayAgreesWithLibcryptoAndRefusesWhatItMust) {
  const KeyPair &keys = Keys();
  const KeyPair stranger(2048);
  std::mt19937 rng(2048);
  for (const Way &way : kWays) {
    SCOPED_TRACE(way.name);
    const std::string &seal_key = keys.text[way.seal_private], &open_key = keys.text[!way.seal_private];
    Bytes message, sealed, opened;
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, keys.size - 11}) {
      message = ydr::test::RandomBytes(rng, length);
      ASSERT_EQ(Call(way.seal, message, seal_key, keys.size, &sealed), keys.size) << length;
      EXPECT_EQ(keys.Peer(way.peer_open_init, way.peer_open, sealed), message);
      const Bytes theirs = keys.Peer(way.peer_seal_init, way.peer_seal, message);
      EXPECT_EQ(Call(way.open, theirs, open_key, keys.size, &opened), length);
      EXPECT_EQ(opened, message);
    }
    EXPECT_EQ(Call(way.seal, Bytes(keys.size - 10, 'x'), seal_key, keys.size), YDR_RSA_FAILED);
    sealed.push_back(0);
    EXPECT_EQ(Call(way.open, sealed, open_key, keys.size + 1), YDR_RSA_FAILED);
    sealed.pop_back();
    // Another pair's key: no made-up output, only what the bare result's padding may frame.
    const Bytes bare = stranger.Peer(way.peer_open_init, way.peer_open, sealed, RSA_NO_PADDING);
    EXPECT_EQ(Call(way.open, sealed, stranger.text[!way.seal_private], keys.size),
              PaddedMessageLength(bare, way.block_type));
    // A block that starts with zero, handed over without it (as numbers are), is the same block.
    sealed.clear();
    for (unsigned n = 0; n < 20000 && (sealed.empty() || sealed[0] != 0); ++n) {
      message = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8), 'z'};
      Call(way.seal, message, seal_key, keys.size, &sealed);
    }
    ASSERT_EQ(sealed.at(0), 0) << "no block with a leading zero in 20000 messages";
    const Bytes stripped(sealed.begin() + 1, sealed.end());
    EXPECT_EQ(keys.Peer(way.peer_open_init, way.peer_open, stripped), message);
    EXPECT_EQ(Call(way.open, stripped, open_key, keys.size, &opened), message.size());
    EXPECT_EQ(opened, message);
  }
}

// Keys are read exactly where libcrypto's RSA key decoding reads them, whatever the DER's form.
TEST(RsaKeyTextTest, KeysAreReadWhereLibcryptoReadsThem) {
  const KeyPair &keys = Keys();
  PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(keys.key.get());
  unsigned char *pkcs8 = nullptr;
  const int pkcs8_size = i2d_PKCS8_PRIV_KEY_INFO(info, &pkcs8);
  PKCS8_PRIV_KEY_INFO_free(info);
  Bytes junk(200);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<unsigned char>(i * 31 + 7);
  const Bytes forms[] = {keys.privateDer,
                         ydr::test::Der(keys.key.get(), i2d_PublicKey),
                         Bytes(pkcs8, pkcs8 + std::max(pkcs8_size, 0)),
                         ydr::test::Der(keys.key.get(), i2d_PUBKEY),
                         Bytes(keys.privateDer.begin(), keys.privateDer.end() - 1),
                         junk};
  OPENSSL_free(pkcs8);
  const Bytes message(8, 'k');
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
      EXPECT_EQ(Call(f, message, Base64(forms[form]), keys.size) != YDR_RSA_FAILED, libcrypto_reads);
    }
  }
  const std::string texts[] = {"", "MIIB*not-base64*", "MII=Bg", keys.text[1].substr(0, keys.text[1].size() / 2)};
  for (const std::string &text : texts) {
    EXPECT_EQ(Call(YDR_RSA_Encrypt_PublicKey, message, text, keys.size), YDR_RSA_FAILED) << text;
    EXPECT_EQ(Call(YDR_RSA_Encrypt_PrivateKey, message, text, keys.size), YDR_RSA_FAILED) << text;
  }
  Bytes out(keys.size);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), out.data(), nullptr), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, nullptr, out.data(), keys.text[0].c_str()), YDR_RSA_FAILED);
  EXPECT_EQ(YDR_RSA_Encrypt_PublicKey(8, message.data(), nullptr, keys.text[0].c_str()), YDR_RSA_FAILED);
}

}  // namespace
