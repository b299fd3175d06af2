// What the stream, cipher and digest commands promise about their input: an output that is the
// input under any name is refused before anything is written; no input is read further than
// its use needs (a key file, a password, one RSA block, one line of a digest list), so a huge
// or endless one ends in a message, never in an abort when memory runs short; and compressed
// data or ciphertext is not written to a terminal unasked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ReadFile;
using ydr::test::Words;
using ydr::test::Ydr;

const std::string kKey = "28dbc3bc49ffd87dcfa509b11d422be7";

// A password is read up to its bound and no further; a list line over its bound is a line
// that is not a digest line, and the lines after it still count.
TEST(ToolInputTest, ReadsStopAtWhatTheirUseCanTake) {
  ydr::test::TempDir dir;
  dir.WriteFile("in", "plaintext");
  dir.WriteFile("abc", "abc");
  const std::string good_line = "a9993e364706816aba3e25717850c26c9cd0d89d  abc\n";
  dir.WriteFile("p4096", std::string(4096, 'p') + "\r\n");
  dir.WriteFile("p4097", std::string(4097, 'p'));
  dir.WriteFile("list", std::string(100 << 10, 'f') + "\n" + good_line);
  dir.WriteFile("unended", good_line.substr(0, good_line.size() - 1));
  struct Case {
    const char *command;
    int status;
    const char *message;  // in standard error; empty: none
  };
  const Case cases[] = {
      {"ven enc --kind 1 --password-file p4096 in o1", 0, ""},
      {"ven enc --kind 1 --password-file p4097 in o2", 1, "not a password"},
      {"ven enc --kind 1 --password-fd 99999999999 in o3", 1, "takes a descriptor number"},
      {"sha1 -c --warn list", 0, "1 line is improperly formatted"},  // a 100 KiB line first
      {"sha1 -c unended", 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.command);
    const auto result = Ydr(Words(c.command), "", dir.path());
    EXPECT_EQ(result.exit_status, c.status) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.empty(), *c.message == '\0') << result.err;
  }
  EXPECT_FALSE(fs::exists(dir / "o2"));
}

#if !defined(_WIN32)  // links, memory limits and terminals as POSIX has them
// A key pair made by the command itself, when this build has the rsa command.
bool MakeKeys(const ydr::test::TempDir &dir) {
  return Ydr({"rsa", "genkey", "--bits", "1024", dir / "key.pem", dir / "pub.pem"}).exit_status == 0;
}

TEST(ToolInputTest, AnOutputThatIsTheInputIsRefused) {
  ydr::test::TempDir dir;
  dir.WriteFile("password", "correct horse\n");
  const std::string content = "a short plaintext that must survive";
  std::vector<std::string> commands = {
      "seed enc --mode ecb --key " + kKey + " IN OUT",
      "seed -e -seed-ecb -K " + kKey + " -in IN -out OUT",
      "ven enc --kind 4 --password-file password IN OUT",
  };
  if (MakeKeys(dir)) commands.push_back("rsa enc --public pub.pem IN OUT");
  for (const std::string &command : commands) {
    for (const std::string out : {"sub/plain.txt", "sub/../sub/./plain.txt", "link", "second"}) {
      SCOPED_TRACE(command + ", OUT " + out);
      const std::string in = dir.WriteFile("sub/plain.txt", content);
      if (out == "link") fs::create_symlink("sub/plain.txt", dir / out);
      if (out == "second") fs::create_hard_link(in, dir / out);
      std::vector<std::string> args = Words(command);
      for (std::string &word : args) word = word == "IN" ? "sub/plain.txt" : word == "OUT" ? out : word;
      const auto result = Ydr(args, "", dir.path());
      EXPECT_EQ(result.exit_status, 2);
      EXPECT_NE(result.err.find("is the input"), std::string::npos) << result.err;
      EXPECT_EQ(ReadFile(in), content);
      if (out == "link" || out == "second") fs::remove(dir / out);
    }
  }
}

// Under a memory limit, inputs far larger than their use end in a message and status 1, and
// the same commands with inputs of their size still work. Address-space limits do not mix
// with sanitizers (which reserve terabytes) or emulated 32-bit builds, so those skip it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define YDR_TEST_SANITIZED 1
#endif
#endif
#if !defined(YDR_TEST_SANITIZED) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(ToolInputTest, HugeInputsEndInAMessageWhenMemoryIsShort) {
  if (sizeof(void *) < 8) GTEST_SKIP() << "a 32-bit build may run under an emulator";
  ydr::test::TempDir dir;
  // 96 MiB of zeros that take no room on disk: more than the limit lets any reader hold.
  fs::resize_file(dir.WriteFile("huge"), 96u << 20);
  dir.WriteFile("in", "plaintext");
  dir.WriteFile("password", "correct horse\n");
  struct Case {
    const char *command;
    int status;
    const char *message;
  };
  std::vector<Case> cases = {
      {"ven enc --kind 1 --password-file huge in o1", 1, "not a password"},
      {"ven enc --kind 1 --password-file password in o2", 0, ""},
      {"sha1 -c huge", 1, "no properly formatted"},
  };
  if (MakeKeys(dir)) {
    cases.push_back({"rsa enc --public huge in o3", 1, "larger than any key file"});
    cases.push_back({"rsa enc --public pub.pem huge o4", 1, "more than 128 bytes"});
    cases.push_back({"rsa dec --private key.pem huge o5", 1, "more than 128 bytes"});
    cases.push_back({"rsa enc --public pub.pem in o6", 0, ""});
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<std::string> argv = Words(c.command);
    argv.insert(argv.begin(), {"prlimit", "--as=" + std::to_string(64u << 20), YDR_TOOL});
    const auto result = ydr::test::RunProcess(argv, {}, "", dir.path());
    EXPECT_EQ(result.exit_status, c.status) << result.err;  // -1: killed by a signal
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  for (const char *output : {"o1", "o3", "o4", "o5"}) EXPECT_FALSE(fs::exists(dir / output)) << output;
}
#endif

TEST(ToolInputTest, CompressedDataAndCiphertextAreNotWrittenToATerminal) {
  ydr::test::TempDir dir;
  dir.WriteFile("in", "plaintext");
  dir.WriteFile("password", "a long enough password");
  std::vector<std::string> refused = {
      "gz -c in",
      "seed enc --mode ecb --key " + kKey + " in",
      "ven enc --kind 4 --password-file password in",
      "ven enc --kind lvo --password-file password in",
  };
  if (MakeKeys(dir)) refused.push_back("rsa enc --public pub.pem in");
  for (const std::string &command : refused) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = Words(command);
    args.insert(args.begin(), YDR_TOOL);
    const auto result = ydr::test::RunInTerminal(args, "", "", dir.path());
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.out.find("not written to a terminal"), std::string::npos) << result.out;
    args.push_back("-f");
    EXPECT_EQ(ydr::test::RunInTerminal(args, "", "", dir.path()).exit_status, 0);
  }
  // Decompressed and decrypted text may go to the terminal.
  ASSERT_EQ(Ydr(Words("gz in"), "", dir.path()).exit_status, 0);
  ASSERT_EQ(Ydr(Words("seed enc --mode ecb --key " + kKey + " in sealed"), "", dir.path()).exit_status, 0);
  for (const std::string &command : {std::string("gz -dc in.ydgz"), "seed dec --mode ecb --key " + kKey + " sealed"}) {
    std::vector<std::string> args = Words(command);
    args.insert(args.begin(), YDR_TOOL);
    const auto text = ydr::test::RunInTerminal(args, "", "", dir.path());
    EXPECT_EQ(text.exit_status, 0);
    EXPECT_NE(text.out.find("plaintext"), std::string::npos) << text.out;
  }
}
#endif

}  // namespace
