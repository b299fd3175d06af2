// What the cipher and digest commands promise about their input: an output that is the input
// under any name is refused before anything is written; no input is read further than its use
// needs (a key file, a password, one RSA block, one line of a digest list), so a huge or
// endless one ends in a message, never in an abort when memory runs short; and ciphertext is
// not written to a terminal unasked.
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

const char kKey[] = "28dbc3bc49ffd87dcfa509b11d422be7";

using ydr::test::Ydr;

#if !defined(_WIN32)  // links and memory limits as POSIX has them
// A key pair made by the command itself, when this build has the rsa command.
bool MakeKeys(const ydr::test::TempDir &dir) {
  return Ydr({"rsa", "genkey", "--bits", "1024", dir / "key.pem", dir / "pub.pem"}).exit_status == 0;
}

TEST(ToolInputTest, AnOutputThatIsTheInputIsRefused) {
  ydr::test::TempDir dir;
  const bool have_rsa = MakeKeys(dir);
  const std::string password = dir.WriteFile("password", "correct horse\n");
  const std::string content = "a short plaintext that must survive";
  struct Command {
    const char *name;
    std::vector<std::string> args;  // IN and OUT follow
  };
  std::vector<Command> commands = {
      {"seed", {"seed", "enc", "--mode", "ecb", "--key", kKey}},
      {"seed, openssl's spelling", {"seed", "-e", "-seed-ecb", "-K", kKey, "-in"}},
      {"ven", {"ven", "enc", "--kind", "4", "--password-file", password}},
  };
  if (have_rsa) commands.push_back({"rsa", {"rsa", "enc", "--public", dir / "pub.pem"}});
  enum class Name { kSame, kSpelledOtherwise, kSymbolicLink, kHardLink };
  for (const Command &command : commands) {
    for (const Name name : {Name::kSame, Name::kSpelledOtherwise, Name::kSymbolicLink, Name::kHardLink}) {
      SCOPED_TRACE(std::string(command.name) + ", name " + std::to_string(static_cast<int>(name)));
      const std::string in = dir.WriteFile("sub/plain.txt", content);
      std::string out = in;
      if (name == Name::kSpelledOtherwise) out = dir / "sub/../sub/./plain.txt";
      if (name == Name::kSymbolicLink) fs::create_symlink(in, out = dir / "link");
      if (name == Name::kHardLink) fs::create_hard_link(in, out = dir / "second");
      std::vector<std::string> args = command.args;
      args.push_back(in);
      if (args[1] == "-e") args.push_back("-out");
      args.push_back(out);
      const auto result = Ydr(args);
      EXPECT_EQ(result.exit_status, 2);
      EXPECT_NE(result.err.find("is the input"), std::string::npos) << result.err;
      EXPECT_EQ(ReadFile(in), content);
      if (out != in) fs::remove(out);
    }
  }
}
#endif

// A password is read up to its bound and no further; a list line over its bound is a line
// that is not a digest line, and the lines after it still count.
TEST(ToolInputTest, ReadsStopAtWhatTheirUseCanTake) {
  ydr::test::TempDir dir;
  const std::string in = dir.WriteFile("in", "plaintext");
  const std::string abc = dir.WriteFile("abc", "abc");
  const std::string good_line = "a9993e364706816aba3e25717850c26c9cd0d89d  " + abc + "\n";
  struct Case {
    const char *name;
    std::vector<std::string> args;
    int status;
    const char *message;  // in standard error; empty: none
  };
  const Case cases[] = {
      {"a password of 4096 bytes",
       {"ven", "enc", "--kind", "1", "--password-file", dir.WriteFile("p1", std::string(4096, 'p') + "\r\n"), in,
        dir / "o1"},
       0,
       ""},
      {"a password of 4097 bytes",
       {"ven", "enc", "--kind", "1", "--password-file", dir.WriteFile("p2", std::string(4097, 'p')), in, dir / "o2"},
       1,
       "not a password"},
      {"a list with a 100 KiB line first",
       {"sha1", "-c", "--warn", dir.WriteFile("list", std::string(100 << 10, 'f') + "\n" + good_line)},
       0,
       "1 line is improperly formatted"},
      {"a descriptor number past any descriptor",
       {"ven", "enc", "--kind", "1", "--password-fd", "99999999999", in, dir / "o3"},
       1,
       "takes a descriptor number"},
      {"a list of one line, unended",
       {"sha1", "-c", dir.WriteFile("unended", good_line.substr(0, good_line.size() - 1))},
       0,
       ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = Ydr(c.args);
    EXPECT_EQ(result.exit_status, c.status) << result.err;
    if (*c.message == '\0') {
      EXPECT_EQ(result.err, "");
    }
    if (*c.message != '\0') {
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "o2"));
}

// Under a memory limit, inputs far larger than their use end in a message and status 1, and
// the same commands with inputs of their size still work. Address-space limits do not mix
// with sanitizers (which reserve terabytes) or emulated 32-bit builds, so those skip it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define YDR_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define YDR_TEST_SANITIZED 1
#endif
#if !defined(_WIN32) && !defined(YDR_TEST_SANITIZED)
TEST(ToolInputTest, HugeInputsEndInAMessageWhenMemoryIsShort) {
  if (sizeof(void *) < 8) GTEST_SKIP() << "a 32-bit build may run under an emulator";
  constexpr std::uint64_t kLimit = 64u << 20;
  ydr::test::TempDir dir;
  const bool have_rsa = MakeKeys(dir);
  // 96 MiB of zeros that take no room on disk: more than the limit lets any reader hold.
  const std::string huge = dir.WriteFile("huge");
  fs::resize_file(huge, 96u << 20);
  const std::string in = dir.WriteFile("in", "plaintext");
  const std::string password = dir.WriteFile("password", "correct horse\n");
  struct Case {
    const char *name;
    std::vector<std::string> args;
    int status;
    const char *message;
    bool needs_rsa;
  };
  const std::vector<Case> cases = {
      {"a huge password file",
       {"ven", "enc", "--kind", "1", "--password-file", huge, in, dir / "o1"},
       1,
       "not a password",
       false},
      {"a password file", {"ven", "enc", "--kind", "1", "--password-file", password, in, dir / "o2"}, 0, "", false},
      {"a huge digest list", {"sha1", "-c", huge}, 1, "no properly formatted", false},
      {"a huge key file", {"rsa", "enc", "--public", huge, in, dir / "o3"}, 1, "larger than any key file", true},
      {"a huge RSA input",
       {"rsa", "enc", "--public", dir / "pub.pem", huge, dir / "o4"},
       1,
       "more than 128 bytes",
       true},
      {"a huge RSA block",
       {"rsa", "dec", "--private", dir / "key.pem", huge, dir / "o5"},
       1,
       "more than 128 bytes",
       true},
      {"an RSA input", {"rsa", "enc", "--public", dir / "pub.pem", in, dir / "o6"}, 0, "", true},
  };
  for (const Case &c : cases) {
    if (c.needs_rsa && !have_rsa) continue;
    SCOPED_TRACE(c.name);
    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), YDR_TOOL);
    const auto result = ydr::test::RunProcessWithMemoryLimit(argv, kLimit);
    EXPECT_EQ(result.exit_status, c.status) << result.err;  // -1: killed by a signal
    if (*c.message != '\0') {
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
  }
  for (const char *output : {"o1", "o3", "o4", "o5"}) EXPECT_FALSE(fs::exists(dir / output)) << output;
}
#endif

TEST(ToolInputTest, CiphertextIsNotWrittenToATerminal) {
  if (!ydr::test::TerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminal to run the command on here";
  ydr::test::TempDir dir;
  const std::string in = dir.WriteFile("in", "plaintext");
  const std::string password = dir.WriteFile("password", "a long enough password");
  struct Case {
    const char *name;
    std::vector<std::string> args;
  };
  std::vector<Case> cases = {
      {"seed", {"seed", "enc", "--mode", "ecb", "--key", kKey, in}},
      {"ven", {"ven", "enc", "--kind", "4", "--password-file", password, in}},
      {"ven lvo", {"ven", "enc", "--kind", "lvo", "--password-file", password, in}},
  };
  if (Ydr({"rsa", "genkey", "--bits", "1024", dir / "key.pem", dir / "pub.pem"}).exit_status == 0) {
    cases.push_back({"rsa", {"rsa", "enc", "--public", dir / "pub.pem", in}});
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> encrypt = c.args;
    encrypt.insert(encrypt.begin(), YDR_TOOL);
    const auto refused = ydr::test::RunInTerminal(encrypt);
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_NE(refused.out.find("not written to a terminal"), std::string::npos) << refused.out;
    std::vector<std::string> forced = encrypt;
    forced.push_back("-f");
    EXPECT_EQ(ydr::test::RunInTerminal(forced).exit_status, 0);
  }
  // Decrypted text may go to the terminal.
  const std::string sealed = dir / "sealed";
  ASSERT_EQ(Ydr({"seed", "enc", "--mode", "ecb", "--key", kKey, in, sealed}).exit_status, 0);
  const auto text = ydr::test::RunInTerminal({YDR_TOOL, "seed", "dec", "--mode", "ecb", "--key", kKey, sealed});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_NE(text.out.find("plaintext"), std::string::npos) << text.out;
}

}  // namespace
