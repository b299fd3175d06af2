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
#include <map>
#include <memory>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::TempDir;
using ydr::test::Ydr;

struct BnFree {
  void operator()(BIGNUM *n) const { BN_free(n); }
};
using Number = std::unique_ptr<BIGNUM, BnFree>;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
// The numbers of an RSA key by libcrypto's parameter names.
using RsaNumbers = std::map<std::string, Number>;

constexpr const char *kNames[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                  OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                  OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                  OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};

Number NewNumber(const char *hex) {
  BIGNUM *n = nullptr;
  BN_hex2bn(&n, hex);
  return Number(n);
}

// A real 1024-bit key, made once: the numbers the cases spoil.
RsaNumbers GoodNumbers() {
  static EVP_PKEY *key = EVP_RSA_gen(1024);
  RsaNumbers numbers;
  for (const char *name : kNames) {
    BIGNUM *value = nullptr;
    EVP_PKEY_get_bn_param(key, name, &value);
    numbers[name].reset(value);
  }
  return numbers;
}

// A key whose numbers are consistent but whose modulus is 128 bits: the primes 2^64 - 59 and
// 2^64 - 83, e = 65537, and what follows from them (in kNames' order).
RsaNumbers TinyNumbers() {
  const char *hex[] = {"FFFFFFFFFFFFFF720000000000001321",
                       "10001",
                       "93C96C3693C96BE3727C8D83727C98E1",
                       "FFFFFFFFFFFFFFC5",
                       "FFFFFFFFFFFFFFAD",
                       "15B1EA4E15B1EA49",
                       "F0940F6BF0940F1D",
                       "3555555555555549"};
  RsaNumbers numbers;
  for (std::size_t i = 0; i < std::size(kNames); ++i) numbers[kNames[i]] = NewNumber(hex[i]);
  return numbers;
}

Pkey KeyFrom(const RsaNumbers &numbers, bool private_key) {
  OSSL_PARAM_BLD *build = OSSL_PARAM_BLD_new();
  for (const auto &[name, value] : numbers) {
    if (private_key || name == OSSL_PKEY_PARAM_RSA_N || name == OSSL_PKEY_PARAM_RSA_E) {
      OSSL_PARAM_BLD_push_BN(build, name.c_str(), value.get());
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

// Runs `rsa ACTION` with the key in a file; no output may be left when it fails.
ydr::test::ProcessResult RunWithKey(const TempDir &dir, const std::string &pem, bool private_key, const char *action) {
  EXPECT_FALSE(pem.empty());
  // A message that fits even the smallest key, or a block of the 1024-bit ones.
  const std::string in = dir.WriteFile("in", std::string(action) == "enc" ? "hello" : std::string(128, 'b'));
  auto result =
      Ydr({"rsa", action, private_key ? "--private" : "--public", dir.WriteFile("key.pem", pem), in, dir / "out"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_FALSE(fs::exists(dir / "out"));
  return result;
}

TEST(ToolRsaKeyTest, DegenerateKeysAreRefusedWithTheReason) {
  const auto spoiled = [](const char *name, const char *hex, int add_to_modulus = -1) {
    RsaNumbers numbers = GoodNumbers();
    numbers[name] = add_to_modulus < 0 ? NewNumber(hex) : Number(BN_dup(numbers[OSSL_PKEY_PARAM_RSA_N].get()));
    if (add_to_modulus >= 0) BN_add_word(numbers[name].get(), static_cast<BN_ULONG>(add_to_modulus));
    return numbers;
  };
  struct Case {
    const char *name;
    RsaNumbers numbers;
    const char *reason;
  };
  Case cases[] = {
      {"exponent 1: the output would be the padded plaintext", spoiled(OSSL_PKEY_PARAM_RSA_E, "1"),
       "the public exponent is 1"},
      {"exponent 0", spoiled(OSSL_PKEY_PARAM_RSA_E, "0"), "the public exponent is 0"},
      {"even exponent", spoiled(OSSL_PKEY_PARAM_RSA_E, "10000"), "the public exponent is even"},
      {"128-bit modulus", TinyNumbers(), "the modulus has 128 bits; at least 512"},
      {"even modulus", spoiled(OSSL_PKEY_PARAM_RSA_N, nullptr, 1), "the modulus is even"},
      // An exponent larger than the modulus passes the command's checks, but libcrypto will not
      // encrypt with it: the message names the key, not the input's padding.
      {"exponent past the modulus", spoiled(OSSL_PKEY_PARAM_RSA_E, nullptr, 2), "would not encrypt with this key"},
  };
  TempDir dir;
  for (const Case &c : cases) {
    const bool usable = c.reason[0] == 'w';
    for (const bool private_key : {false, true}) {
      for (const char *action : {"enc", "dec"}) {
        if (usable && (private_key || action[0] == 'd')) continue;
        SCOPED_TRACE(std::string(c.name) + (private_key ? ", private key, " : ", public key, ") + action);
        const Pkey key = KeyFrom(c.numbers, private_key);
        ASSERT_NE(key, nullptr);
        const auto result =
            RunWithKey(dir, Pem(key.get(), private_key ? Form::kPrivate : Form::kPublic), private_key, action);
        const std::string expected = std::string("not a usable RSA ") + (private_key ? "private" : "public") + " key";
        EXPECT_EQ(result.err.find(expected) != std::string::npos, !usable) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("key.pem"), std::string::npos) << result.err;
        EXPECT_TRUE(!usable || result.err.find("padding") == std::string::npos) << result.err;
      }
    }
  }
}

TEST(ToolRsaKeyTest, PassphraseProtectedKeysSaySo) {
  TempDir dir;
  const Pkey key = KeyFrom(GoodNumbers(), true);
  ASSERT_NE(key, nullptr);
  for (const Form form : {Form::kPrivateEncrypted, Form::kTraditionalEncrypted}) {
    SCOPED_TRACE(form == Form::kPrivateEncrypted ? "PKCS #8" : "traditional");
    const auto result = RunWithKey(dir, Pem(key.get(), form), true, "enc");
    EXPECT_NE(result.err.find("'" + (dir / "key.pem") + "': the key is protected by a passphrase"), std::string::npos)
        << result.err;
  }
}

}  // namespace
