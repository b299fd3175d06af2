// ydr rsa and the keys it must not use: degenerate numbers that libcrypto reads without
// complaint (an exponent that leaves the plaintext as it is, one with no inverse, a modulus
// anyone can factor) and keys locked under a passphrase. The keys are made here with
// libcrypto from chosen numbers, so each case can be made again from this file alone.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ProcessResult;
using ydr::test::TempDir;

using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Number = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Number NewNumber(const char *hex) {
  BIGNUM *n = nullptr;
  BN_hex2bn(&n, hex);
  return Number(n, BN_free);
}

// The numbers of an RSA key, in libcrypto's parameter names; the private ones may be absent.
struct RsaNumbers {
  std::vector<std::pair<const char *, Number>> values;

  BIGNUM *Get(const char *name) {
    for (auto &[key, value] : values) {
      if (std::string(key) == name) return value.get();
    }
    return nullptr;
  }
  void Set(const char *name, Number value) {
    for (auto &[key, old] : values) {
      if (std::string(key) == name) old = std::move(value);
    }
  }
};

constexpr const char *kNames[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                  OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                  OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                  OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};

RsaNumbers NumbersOf(const EVP_PKEY *key) {
  RsaNumbers numbers;
  for (const char *name : kNames) {
    BIGNUM *value = nullptr;
    EVP_PKEY_get_bn_param(key, name, &value);
    numbers.values.emplace_back(name, Number(value, BN_free));
  }
  return numbers;
}

// A key whose numbers are consistent but whose modulus is 128 bits: two 64-bit primes.
RsaNumbers TinyNumbers() {
  BN_CTX *ctx = BN_CTX_new();
  Number p = NewNumber("FFFFFFFFFFFFFFC5"), q = NewNumber("FFFFFFFFFFFFFFAD");  // 2^64 - 59, 2^64 - 83
  Number n(BN_new(), BN_free), phi(BN_new(), BN_free), p1(BN_dup(p.get()), BN_free), q1(BN_dup(q.get()), BN_free);
  BN_sub_word(p1.get(), 1);
  BN_sub_word(q1.get(), 1);
  BN_mul(n.get(), p.get(), q.get(), ctx);
  BN_mul(phi.get(), p1.get(), q1.get(), ctx);
  Number e = NewNumber("10001");
  Number d(BN_mod_inverse(nullptr, e.get(), phi.get(), ctx), BN_free);
  Number dp(BN_new(), BN_free), dq(BN_new(), BN_free);
  BN_mod(dp.get(), d.get(), p1.get(), ctx);
  BN_mod(dq.get(), d.get(), q1.get(), ctx);
  Number qinv(BN_mod_inverse(nullptr, q.get(), p.get(), ctx), BN_free);
  BN_CTX_free(ctx);
  RsaNumbers numbers;
  Number parts[] = {std::move(n), std::move(e),  std::move(d),  std::move(p),
                    std::move(q), std::move(dp), std::move(dq), std::move(qinv)};
  for (std::size_t i = 0; i < std::size(kNames); ++i) numbers.values.emplace_back(kNames[i], std::move(parts[i]));
  return numbers;
}

Pkey KeyFrom(RsaNumbers &numbers, bool private_key) {
  OSSL_PARAM_BLD *build = OSSL_PARAM_BLD_new();
  for (auto &[name, value] : numbers.values) {
    if (private_key || name == std::string(OSSL_PKEY_PARAM_RSA_N) || name == std::string(OSSL_PKEY_PARAM_RSA_E)) {
      OSSL_PARAM_BLD_push_BN(build, name, value.get());
    }
  }
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(build);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  EVP_PKEY *key = nullptr;
  if (EVP_PKEY_fromdata_init(ctx) != 1 ||
      EVP_PKEY_fromdata(ctx, &key, private_key ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params) != 1) {
    key = nullptr;
  }
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(build);
  return Pkey(key, EVP_PKEY_free);
}

// PEM as openssl writes keys: SubjectPublicKeyInfo, or PKCS #8 (encrypted when a passphrase is
// given), or the traditional PKCS #1 form with an encrypted-PEM header.
enum class Form { kPublic, kPrivate, kPrivateEncrypted, kTraditionalEncrypted };

std::string Pem(EVP_PKEY *key, Form form) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  unsigned char passphrase[] = "a passphrase";
  const int length = static_cast<int>(sizeof passphrase - 1);
  int ok = 0;
  switch (form) {
    case Form::kPublic: ok = PEM_write_bio_PUBKEY(bio.get(), key); break;
    case Form::kPrivate: ok = PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr); break;
    case Form::kPrivateEncrypted:
      ok = PEM_write_bio_PrivateKey(bio.get(), key, EVP_aes_128_cbc(), passphrase, length, nullptr, nullptr);
      break;
    case Form::kTraditionalEncrypted:
      ok =
          PEM_write_bio_PrivateKey_traditional(bio.get(), key, EVP_aes_128_cbc(), passphrase, length, nullptr, nullptr);
      break;
  }
  char *data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return ok == 1 && size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

using ydr::test::Ydr;

// A real 1024-bit key, made once: the numbers the cases spoil.
const EVP_PKEY *GoodKey() {
  static EVP_PKEY *key = EVP_RSA_gen(1024);
  return key;
}

TEST(ToolRsaKeyTest, DegenerateKeysAreRefusedWithTheReason) {
  struct Case {
    const char *name;
    std::function<RsaNumbers()> numbers;
    const char *reason;
  };
  const auto spoiled = [](const char *name, const std::function<Number(const BIGNUM *n)> &value) {
    return [name, value] {
      RsaNumbers numbers = NumbersOf(GoodKey());
      numbers.Set(name, value(numbers.Get(OSSL_PKEY_PARAM_RSA_N)));
      return numbers;
    };
  };
  const Case cases[] = {
      {"exponent 1: the output would be the padded plaintext",
       spoiled(OSSL_PKEY_PARAM_RSA_E, [](const BIGNUM *) { return NewNumber("1"); }), "the public exponent is 1"},
      {"exponent 0", spoiled(OSSL_PKEY_PARAM_RSA_E, [](const BIGNUM *) { return NewNumber("0"); }),
       "the public exponent is 0"},
      {"even exponent", spoiled(OSSL_PKEY_PARAM_RSA_E, [](const BIGNUM *) { return NewNumber("10000"); }),
       "the public exponent is even"},
      {"128-bit modulus", TinyNumbers, "the modulus has 128 bits; at least 512"},
      {"even modulus",
       spoiled(OSSL_PKEY_PARAM_RSA_N,
               [](const BIGNUM *n) {
                 Number even(BN_dup(n), BN_free);
                 BN_add_word(even.get(), 1);
                 return even;
               }),
       "the modulus is even"},
  };
  TempDir dir;
  // A message that fits even the smallest key, and a block of the 1024-bit ones.
  const std::string message = dir.WriteFile("message", "hello"), block = dir.WriteFile("block", std::string(128, 'b'));
  for (const Case &c : cases) {
    for (const bool private_key : {false, true}) {
      for (const char *action : {"enc", "dec"}) {
        SCOPED_TRACE(std::string(c.name) + (private_key ? ", private key, " : ", public key, ") + action);
        RsaNumbers numbers = c.numbers();
        const Pkey key = KeyFrom(numbers, private_key);
        ASSERT_NE(key, nullptr);
        const std::string pem = Pem(key.get(), private_key ? Form::kPrivate : Form::kPublic);
        ASSERT_FALSE(pem.empty());
        const std::string key_file = dir.WriteFile("key.pem", pem);
        const std::string out = dir / "out";
        const auto result = Ydr({"rsa", action, private_key ? "--private" : "--public", key_file,
                                 std::string(action) == "enc" ? message : block, out});
        EXPECT_EQ(result.exit_status, 1);
        const std::string expected = std::string("not a usable RSA ") + (private_key ? "private" : "public") + " key";
        EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("key.pem"), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(out));
      }
    }
  }
}

TEST(ToolRsaKeyTest, PassphraseProtectedKeysSaySo) {
  TempDir dir;
  const Pkey key(EVP_PKEY_dup(const_cast<EVP_PKEY *>(GoodKey())), EVP_PKEY_free);
  ASSERT_NE(key, nullptr);
  for (const Form form : {Form::kPrivateEncrypted, Form::kTraditionalEncrypted}) {
    SCOPED_TRACE(form == Form::kPrivateEncrypted ? "PKCS #8" : "traditional");
    const std::string pem = Pem(key.get(), form);
    ASSERT_FALSE(pem.empty());
    const std::string key_file = dir.WriteFile("locked.pem", pem);
    const auto result = Ydr({"rsa", "enc", "--private", key_file, dir.WriteFile("in", "text"), dir / "out"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("'" + key_file + "': the key is protected by a passphrase"), std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
}

TEST(ToolRsaKeyTest, AKeyLibcryptoWillNotUseIsNotBlamedOnThePadding) {
  // An exponent larger than the modulus passes the command's checks, but libcrypto refuses
  // to encrypt with it: the message names the key, not the input's padding.
  RsaNumbers numbers = NumbersOf(GoodKey());
  Number e(BN_dup(numbers.Get(OSSL_PKEY_PARAM_RSA_N)), BN_free);
  BN_add_word(e.get(), 2);
  numbers.Set(OSSL_PKEY_PARAM_RSA_E, std::move(e));
  const Pkey key = KeyFrom(numbers, false);
  ASSERT_NE(key, nullptr);
  TempDir dir;
  const std::string key_file = dir.WriteFile("key.pem", Pem(key.get(), Form::kPublic));
  const auto result = Ydr({"rsa", "enc", "--public", key_file, dir.WriteFile("in", "text"), dir / "out"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("would not encrypt with this key"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("padding"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

}  // namespace
