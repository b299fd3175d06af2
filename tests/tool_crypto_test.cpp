// ydr sha1, seed, rsa and ven against sha1sum and openssl.
#include <gtest/gtest.h>

#include <filesystem>
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
using ydr::test::Words;
using ydr::test::Ydr;

ProcessResult Shell(const std::string &command) { return RunProcess({"/bin/sh", "-c", command}); }

TEST(ToolSha1Test, ListsChecksReportsAndExitCodesAreSha1sums) {
  ydr::test::TempDir dir;
  dir.WriteFile("plain", "abc");
  dir.WriteFile("back\\slash", "a");
  dir.WriteFile("new\nline", "b");
  dir.WriteFile("empty", "");
  const std::string cd = "cd '" + dir.path() + "' && ";
  const std::string escaped = Shell(cd + "sha1sum *").out;  // names with '\' and a line feed
  ASSERT_NE(escaped.find("new\\nline"), std::string::npos) << escaped;
  const std::string good = "a9993e364706816aba3e25717850c26c9cd0d89d  plain\n";
  const std::string wrong = "0000000000000000000000000000000000000000  plain\n";
  const std::string missing = "a9993e364706816aba3e25717850c26c9cd0d89d  missing\n";
  const std::string junk = "not a digest line\n";
  const std::pair<const char *, std::string> cases[] = {
      {"*", ""},
      {"--tag plain", ""},
      {"-c list", escaped},
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
    const auto ours = Shell(cd + ydr::test::ShellWords(YDR_TOOL) + " sha1 " + args),
               theirs = Shell(cd + "sha1sum " + args);
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
  // openssl's keys: PKCS #8 private, SubjectPublicKeyInfo public, PEM and DER; and the private
  // key locked under a passphrase as PKCS #8 and as PKCS #1 with an encrypted-PEM header.
  const auto made = Shell(cd + "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out key.pem && " +
                          "openssl pkey -in key.pem -pubout -out pub.pem && openssl pkey -in key.pem -outform DER " +
                          "-out key.der && openssl pkey -in key.pem -pubout -outform DER -out pub.der && " +
                          "openssl pkey -in key.pem -aes128 -passout pass:pw -out locked8.pem && " +
                          "openssl rsa -in key.pem -aes128 -traditional -passout pass:pw -out locked1.pem");
  ASSERT_EQ(made.exit_status, 0) << made.err;
  const std::string message = "a secret of modest length";
  for (const auto &[public_key, private_key] :
       {std::pair<const char *, const char *>{"pub.pem", "key.pem"}, {"pub.der", "key.der"}}) {
    SCOPED_TRACE(public_key);
    const auto sealed = Ydr({"rsa", "enc", "--public", dir / public_key}, message);
    ASSERT_EQ(sealed.exit_status, 0) << sealed.err;
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

  // Keys libcrypto reads that the command refuses, saying why: PKCS #1 keys from their numbers in
  // hex, {n, e} public and {0, n, e, d, p, q, dp, dq, qinv} private, as the Base64 text of their DER.
  const std::string odd(256, 'F');
  const std::pair<const char *, std::vector<std::string>> keys[] = {
      {"e0.key", {odd, "0"}},
      {"e1.key", {"0", odd, "1", "1", "1", "1", "1", "1", "1"}},
      {"even-e.key", {odd, "10000"}},
      {"small-n.key", {"FFFFFFFFFFFFFF720000000000001321", "10001"}},
      {"even-n.key", {std::string(255, 'F') + "E", "10001"}},
      {"huge-e.key", {odd, "1" + std::string(274, '0') + "1"}},
  };
  for (const auto &[name, numbers] : keys) {
    std::string asn1 = "asn1=SEQUENCE:key\n[key]\n";
    for (std::size_t i = 0; i < numbers.size(); ++i)
      asn1 += "n" + std::to_string(i) + "=INTEGER:0x" + numbers[i] + "\n";
    dir.WriteFile("asn1", asn1);
    const std::string der = "openssl asn1parse -genconf asn1 -noout -out der && openssl base64 -A -in der -out ";
    ASSERT_EQ(Shell(cd + der + name).exit_status, 0) << name;
  }
  dir.WriteFile("junk.txt", "@@@ not a key @@@");
  const ydr::test::CommandCase cases[] = {
      {"rsa enc --private pub.pem", 1, "", "not an RSA private key", message},
      {"rsa enc --public junk.txt", 1, "", "not an RSA public key", message},
      {"rsa enc --public pub.pem", 1, "", "at most 117", std::string(118, 'x')},
      {"rsa dec --private key.pem", 1, "", "a block of this key is 128", message},
      {"rsa dec --private key.pem", 1, "", "more than 128 bytes", std::string(129, 'z')},
      {"rsa dec --public pub.pem", 1, "", "padding does not check out", std::string(128, 'z')},
      {"rsa dec --public e0.key", 1, "", "'e0.key': not a usable RSA public key: the public exponent is 0", message},
      {"rsa enc --private e1.key", 1, "", "'e1.key': not a usable RSA private key: the public exponent is 1", message},
      {"rsa enc --public even-e.key", 1, "", "the public exponent is even", message},
      {"rsa dec --public small-n.key", 1, "", "the modulus has 128 bits; at least 512", message},
      {"rsa enc --public even-n.key", 1, "", "the modulus is even", message},
      // Past the command's checks, libcrypto's refusal blames the key, not the padding.
      {"rsa enc --public huge-e.key", 1, "", "'huge-e.key': libcrypto would not encrypt with this key", message},
      {"rsa enc --private locked8.pem", 1, "", "'locked8.pem': the key is protected by a passphrase", message},
      {"rsa enc --private locked1.pem", 1, "", "'locked1.pem': the key is protected by a passphrase", message},
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

}  // namespace
