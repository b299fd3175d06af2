// ydr sha1, seed, rsa and ven against the tools people already use: lists that go back and
// forth with sha1sum, ciphertext that openssl enc agrees with, keys as openssl writes them,
// and passwords that never come from the command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ProcessResult;
using ydr::test::ReadFile;
using ydr::test::RunProcess;
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
    // The same warnings, but in our own voice.
    std::string expected_err = theirs.err;
    for (std::size_t at; (at = expected_err.find("sha1sum: ")) != std::string::npos;)
      expected_err.replace(at, 9, "ydr: ");
    EXPECT_EQ(ours.err, expected_err);
  }
}

TEST(ToolSeedTest, OpensslEncAgreesInEveryModeAndSpelling) {
  ydr::test::TempDir dir;
  std::string data;
  for (int i = 0; i < 5000; ++i) data += static_cast<char>(i * 13);
  const std::string plain = dir.WriteFile("plain", data);
  const std::string key = "28dbc3bc49ffd87dcfa509b11d422be7", iv = "000102030405060708090a0b0c0d0e0f";
  for (const char *mode : {"ecb", "cbc", "ofb", "cfb"}) {
    SCOPED_TRACE(mode);
    const bool ecb = std::string(mode) == "ecb";
    const std::string theirs = dir / (std::string("openssl.") + mode);
    const auto made = Shell("openssl enc -provider legacy -provider default -seed-" + std::string(mode) + " -K " + key +
                            (ecb ? "" : " -iv " + iv) + " -in '" + plain + "' -out '" + theirs + "'");
    ASSERT_EQ(made.exit_status, 0) << made.err;
    // Ours, spelled as openssl enc is...
    const std::string ours = dir / (std::string("ours.") + mode);
    std::vector<std::string> args = {"seed", "-e", "-seed-" + std::string(mode), "-K", key, "-in", plain, "-out", ours};
    if (!ecb) args.insert(args.end(), {"-iv", iv});
    ASSERT_EQ(Ydr(args).exit_status, 0);
    EXPECT_EQ(ReadFile(ours), ReadFile(theirs));
    // ...and as our own options: decrypting openssl's gives the plaintext back.
    std::vector<std::string> dec = {"seed", "dec", "--mode", mode, "--key=" + key, theirs};
    if (!ecb) dec.insert(dec.end(), {"--iv", iv});
    EXPECT_EQ(Ydr(dec).out, data);
  }
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    const char *message;
  };
  const Case cases[] = {
      {{"seed", "enc", "--mode", "ecb", "--key", "0011"}, "x", 2, "32 hex digits"},
      {{"seed", "enc", "--mode", "cbc", "--key", key}, "x", 2, "--iv"},
      {{"seed", "enc", "--mode", "xts", "--key", key}, "x", 2, "ecb, cbc, ofb or cfb"},
      {{"seed", "enc", "--mode", "ecb", "--key", key, "-nopad"}, "twenty bytes of text", 1, "use --pad pkcs"},
      {{"seed", "dec", "--mode", "ecb", "--key", key}, "twenty bytes of text", 1, "16-byte blocks"},
      {{"seed", "dec", "--mode", "ecb", "--key", key}, std::string(32, 'z'), 1, "padding does not check out"},
  };
  for (const Case &c : cases) {
    const auto result = Ydr(c.args, c.input);
    EXPECT_EQ(result.exit_status, c.status) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

TEST(ToolRsaTest, KeysAsOpensslWritesThemAndKeysForOpenssl) {
  ydr::test::TempDir dir;
  const std::string cd = "cd '" + dir.path() + "' && ";
  // openssl's keys: PKCS #8 private, SubjectPublicKeyInfo public, PEM and DER.
  ASSERT_EQ(
      Shell(cd + "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out key.pem 2>/dev/null").exit_status,
      0);
  ASSERT_EQ(Shell(cd + "openssl pkey -in key.pem -pubout -out pub.pem && openssl pkey -in key.pem -outform DER -out "
                       "key.der && openssl pkey -in key.pem -pubout -outform DER -out pub.der")
                .exit_status,
            0);
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

  struct Case {
    std::vector<std::string> args;
    std::string input;
    const char *message;
  };
  const Case cases[] = {
      {{"rsa", "enc", "--private", dir / "pub.pem"}, message, "not an RSA private key"},
      {{"rsa", "enc", "--public", dir.WriteFile("junk.txt", "@@@ not a key @@@")}, message, "not an RSA public key"},
      {{"rsa", "enc", "--public", dir / "pub.pem"}, std::string(118, 'x'), "at most 117"},
      {{"rsa", "dec", "--private", dir / "key.pem"}, message, "a block of this key is 128"},
      {{"rsa", "dec", "--public", dir / "pub.pem"}, std::string(128, 'z'), "padding does not check out"},
  };
  for (const Case &c : cases) {
    const auto result = Ydr(c.args, c.input);
    EXPECT_EQ(result.exit_status, 1) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

TEST(ToolVenTest, EveryKindRoundTripsAndPasswordsNeverComeFromTheCommandLine) {
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
  EXPECT_EQ(Ydr({"ven", "enc", "--kind", "1", "--password-file", password, in, in}).exit_status, 2);
  EXPECT_EQ(ReadFile(in), data);
  const auto short_password =
      Ydr({"ven", "enc", "--kind", "lvo", "--password-file", dir.WriteFile("short", "seven77"), in, dir / "x"});
  EXPECT_EQ(short_password.exit_status, 1);
  EXPECT_NE(short_password.err.find("at least 8"), std::string::npos);
  // The digest password, from a file; a password on the command line is refused.
  EXPECT_EQ(Ydr({"ven", "lvz", "--password-file", dir.WriteFile("abc", "abc")}).out,
            "A9993E364706816ABA3E25717850C26C9CD0D89D\n");
  EXPECT_EQ(Ydr({"ven", "lvz", "abc"}).exit_status, 2);
  // Without a file or descriptor, the password is asked for on the terminal, without echo.
  const auto asked = ydr::test::RunInTerminal({YDR_TOOL, "ven", "lvz"}, "Password: ", "abc\n");
  EXPECT_EQ(asked.exit_status, 0) << asked.out;
  EXPECT_NE(asked.out.find("A9993E364706816ABA3E25717850C26C9CD0D89D"), std::string::npos) << asked.out;
  EXPECT_EQ(asked.out.find("abc"), std::string::npos) << asked.out;  // not echoed
}

}  // namespace
