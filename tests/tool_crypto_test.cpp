// ydr sha1, seed, rsa and ven against sha1sum, openssl and libcrypto; and the keys ydr rsa must
// refuse though libcrypto reads them: degenerate numbers, and keys locked under a passphrase.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ProcessResult;
using ydr::test::ReadFile;
using ydr::test::RunProcess;
using ydr::test::TempDir;
using ydr::test::Words;
using ydr::test::Ydr;

ProcessResult Shell(const std::string &command) { return RunProcess({"/bin/sh", "-c", command}); }

// ydr sha1 and sha1sum with the same arguments in `dir`.
std::pair<ProcessResult, ProcessResult> OursAndSha1sum(const ydr::test::TempDir &dir, const std::string &args) {
  const std::string cd = "cd '" + dir.path() + "' && ";
  return {Shell(cd + ydr::test::ShellWords(YDR_TOOL) + " sha1 " + args), Shell(cd + "sha1sum " + args)};
}

TEST(ToolSha1Test, ListsChecksReportsAndExitCodesAreSha1sums) {
  ydr::test::TempDir dir;
  dir.WriteFile("plain", "abc");
  dir.WriteFile("back\\slash", "a");
  dir.WriteFile("new\nline", "b");
  dir.WriteFile("empty", "");
  const std::string escaped = OursAndSha1sum(dir, "*").second.out;  // names with '\' and a line feed
  ASSERT_NE(escaped.find("new\\nline"), std::string::npos) << escaped;
  const std::string good = "a9993e364706816aba3e25717850c26c9cd0d89d  plain\n";
  const std::string wrong = "0000000000000000000000000000000000000000  plain\n";
  const std::string missing = "a9993e364706816aba3e25717850c26c9cd0d89d  missing\n";
  const std::string junk = "not a digest line\n";
  const std::pair<const char *, std::string> cases[] = {
      {"*", ""},
      {"--tag plain", ""},
      {"-c list", escaped},
      {"-c list", good + junk},
      {"-c --strict list", good + junk},
      {"-c --warn list", good + junk},
      {"-c --status list", good + wrong},
      {"-c --quiet list", good + wrong},
      {"-c list", missing + good},
      {"-c --ignore-missing list", missing + good},
      {"-c list", junk},
  };
  for (const auto &[args, list] : cases) {
    SCOPED_TRACE(std::string(args) + " | " + list);
    dir.WriteFile("list", list);
    const auto [ours, theirs] = OursAndSha1sum(dir, args);
    EXPECT_EQ(ours.exit_status, theirs.exit_status);
    EXPECT_EQ(ours.out, theirs.out);
    EXPECT_EQ(ours.err, std::regex_replace(theirs.err, std::regex("sha1sum: "), "ydr: "));  // in our own voice
  }
}

TEST(ToolSeedTest, OpensslEncAgreesInEveryModeAndSpelling) {
  ydr::test::TempDir dir;
  std::string data;
  for (int i = 0; i < 5000; ++i) data += static_cast<char>(i * 13);
  dir.WriteFile("plain", data);
  const std::string key = "28dbc3bc49ffd87dcfa509b11d422be7";
  for (const std::string mode : {"ecb", "cbc", "ofb", "cfb"}) {
    SCOPED_TRACE(mode);
    const std::string iv = mode == "ecb" ? "" : " -iv 000102030405060708090a0b0c0d0e0f";
    const std::string enc = "-seed-" + mode + " -K " + key + iv + " -in plain -out ";
    const auto made =
        Shell("cd '" + dir.path() + "' && openssl enc -provider legacy -provider default " + enc + "theirs");
    ASSERT_EQ(made.exit_status, 0) << made.err;
    // Ours, spelled as openssl enc is, and as our own options: openssl's decrypts.
    ASSERT_EQ(Ydr(Words("seed -e " + enc + "ours"), "", dir.path()).exit_status, 0);
    EXPECT_EQ(ReadFile(dir / "ours"), ReadFile(dir / "theirs"));
    const std::string our_iv = iv.empty() ? "" : " --iv" + iv.substr(4);
    ydr::test::ExpectCommand({"seed dec --mode " + mode + " --key=" + key + our_iv + " theirs", 0, data}, dir.path());
  }
  // A first whole block is written before what follows fails.
  const std::string first_block =
      Ydr(Words("seed dec --mode ecb --pad none --key " + key), std::string(32, 'z')).out.substr(0, 16);
  const ydr::test::CommandCase cases[] = {
      {"seed enc --mode ecb --key 0011", 2, "", "32 hex digits", "x"},
      {"seed enc --mode cbc --key " + key, 2, "", "--iv", "x"},
      {"seed enc --mode xts --key " + key, 2, "", "ecb, cbc, ofb or cfb", "x"},
      {"seed enc --mode ecb --key " + key + " -nopad", 1, "", "use --pad pkcs", "not a block"},
      {"seed dec --mode ecb --key " + key, 1, first_block, "16-byte blocks", std::string(20, 'z')},
      {"seed dec --mode ecb --key " + key, 1, first_block, "padding does not check out", std::string(32, 'z')},
  };
  for (const auto &c : cases) ydr::test::ExpectCommand(c);
}

TEST(ToolRsaTest, KeysAsOpensslWritesThemAndKeysForOpenssl) {
  ydr::test::TempDir dir;
  const std::string cd = "cd '" + dir.path() + "' && ";
  // openssl's keys: PKCS #8 private, SubjectPublicKeyInfo public, PEM and DER.
  const auto made = Shell(cd + "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out key.pem && " +
                          "openssl pkey -in key.pem -pubout -out pub.pem && openssl pkey -in key.pem -outform DER " +
                          "-out key.der && openssl pkey -in key.pem -pubout -outform DER -out pub.der");
  ASSERT_EQ(made.exit_status, 0) << made.err;
  const std::string message = "a secret of modest length";
  for (const auto &[public_key, private_key] :
       {std::pair<const char *, const char *>{"pub.pem", "key.pem"}, {"pub.der", "key.der"}}) {
    SCOPED_TRACE(public_key);
    const auto sealed = Ydr({"rsa", "enc", "--public", dir / public_key}, message);
    ASSERT_EQ(sealed.exit_status, 0) << sealed.err;
    EXPECT_EQ(sealed.out.size(), 128u);
    EXPECT_EQ(Ydr({"rsa", "dec", "--private", dir / private_key}, sealed.out).out, message);
    // openssl decrypts ours.
    dir.WriteFile("sealed.bin", sealed.out);
    EXPECT_EQ(Shell(cd + "openssl pkeyutl -decrypt -inkey key.pem -in sealed.bin").out, message);
  }
  // ydr's own key pair: openssl reads it, and encrypts to it.
  ASSERT_EQ(Ydr({"rsa", "genkey", "--bits", "1024", dir / "mine.pem", dir / "mine.pub"}).exit_status, 0);
  EXPECT_EQ(fs::status(dir / "mine.pem").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(Shell(cd + "printf 'to ydr' | openssl pkeyutl -encrypt -pubin -inkey mine.pub -out to-ydr.bin").exit_status,
            0);
  EXPECT_EQ(Ydr({"rsa", "dec", "--private", dir / "mine.pem", dir / "to-ydr.bin"}).out, "to ydr");
  // A raw signature recovers with the public key.
  const auto signature = Ydr({"rsa", "enc", "--private", dir / "mine.pem"}, message);
  EXPECT_EQ(Ydr({"rsa", "dec", "--public", dir / "mine.pub"}, signature.out).out, message);

  dir.WriteFile("junk.txt", "@@@ not a key @@@");
  const ydr::test::CommandCase cases[] = {
      {"rsa enc --private pub.pem", 1, "", "not an RSA private key", message},
      {"rsa enc --public junk.txt", 1, "", "not an RSA public key", message},
      {"rsa enc --public pub.pem", 1, "", "at most 117", std::string(118, 'x')},
      {"rsa dec --private key.pem", 1, "", "a block of this key is 128", message},
      {"rsa dec --public pub.pem", 1, "", "padding does not check out", std::string(128, 'z')},
  };
  for (const auto &c : cases) ydr::test::ExpectCommand(c, dir.path());
}

TEST(ToolVenTest, EveryKindRoundTripsWithThePasswordFromAFileOrADescriptor) {
  ydr::test::TempDir dir;
  std::string data;
  for (int i = 0; i < 70001; ++i) data += static_cast<char>(i * 7 + i / 256);  // not a whole number of units
  const std::string in = dir.WriteFile("document", data);
  const std::string password = dir.WriteFile("password", "비밀 password\n");
  for (const char *kind : {"1", "2", "3", "4", "lvo"}) {
    SCOPED_TRACE(kind);
    const std::string sealed = dir / (std::string("sealed.") + kind), back = dir / (std::string("back.") + kind);
    ASSERT_EQ(Ydr({"ven", "enc", "--kind", kind, "--password-file", password, in, sealed}).exit_status, 0);
    const std::string encrypted = ReadFile(sealed);
    EXPECT_EQ(encrypted.size(), data.size());
    EXPECT_NE(encrypted.substr(0, 64), data.substr(0, 64));
    // The same password through a descriptor decrypts it.
    const auto result = Shell(ydr::test::ShellWords(YDR_TOOL) + " ven dec --kind " + std::string(kind) +
                              " --password-fd 3 '" + sealed + "' '" + back + "' 3< '" + password + "'");
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(ReadFile(back), data);
  }
}

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

// PEM as openssl writes keys: SubjectPublicKeyInfo, PKCS #8 (plain or encrypted), or PKCS #1
// with an encrypted-PEM header.
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
  const auto spoiled = [](const char *name, const std::string &hex) {
    RsaNumbers numbers = GoodNumbers();
    numbers[name] = NewNumber(hex.c_str());
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
      {"128-bit modulus", spoiled(OSSL_PKEY_PARAM_RSA_N, "FFFFFFFFFFFFFF720000000000001321"),
       "the modulus has 128 bits; at least 512"},
      {"even modulus", spoiled(OSSL_PKEY_PARAM_RSA_N, std::string(255, 'F') + "E"), "the modulus is even"},
      // Past the command's checks, libcrypto's refusal: the message names the key, not padding.
      {"exponent past the modulus", spoiled(OSSL_PKEY_PARAM_RSA_E, "1" + std::string(274, '0') + "1"),
       "would not encrypt with this key"},
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
