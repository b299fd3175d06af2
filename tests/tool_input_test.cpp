// The stream, cipher and digest commands' inputs: huge ones, an output that is the input,
// terminals, and interrupted runs (links, memory limits, terminals and signals as POSIX has them).
#if !defined(_WIN32)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/gz_streams.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ArchiveMember;
using ydr::test::ReadFile;
using ydr::test::TempDir;
using ydr::test::Words;
using ydr::test::Ydr;

const std::string kKey = "28dbc3bc49ffd87dcfa509b11d422be7";

// A key pair made by the command itself, when this build has the rsa command.
bool MakeKeys(const ydr::test::TempDir &dir) {
  return Ydr({"rsa", "genkey", "--bits", "1024", dir / "key.pem", dir / "pub.pem"}).exit_status == 0;
}

// Each command's output named as its input another way: a path through "..", a symbolic or a hard link.
TEST(ToolInputTest, AnOutputThatIsTheInputIsRefused) {
  ydr::test::TempDir dir;
  const std::string content = "a short plaintext that must survive", in = dir.WriteFile("sub/plain.txt", content);
  dir.WriteFile("password", "correct horse\n");
  fs::create_symlink("sub/plain.txt", dir / "link");
  fs::create_hard_link(in, dir / "second");
  std::vector<std::string> commands = {
      "seed enc --mode ecb --key " + kKey + " sub/plain.txt sub/../sub/./plain.txt",
      "ven enc --kind 4 --password-file password sub/plain.txt link",
  };
  if (MakeKeys(dir)) commands.push_back("rsa enc --public pub.pem sub/plain.txt second");
  for (const std::string &command : commands) ydr::test::ExpectCommand({command, 2, "", "is the input"}, dir.path());
  EXPECT_EQ(ReadFile(in), content);
}

// Under a memory limit, huge inputs end in a message, inputs of their size still work; not under
// sanitizers (which reserve terabytes) or an emulator.
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
  std::vector<ydr::test::CommandCase> cases = {
      {"ven enc --kind 1 --password-file huge in o1", 1, "", "not a password"},
      {"ven enc --kind 1 --password-file password in o2", 0},
      {"sha1 -c huge", 1, "", "no properly formatted"},
  };
  if (MakeKeys(dir)) {
    cases.push_back({"rsa enc --public huge in o3", 1, "", "larger than any key file"});
    cases.push_back({"rsa enc --public pub.pem huge o4", 1, "", "more than 128 bytes"});
    cases.push_back({"rsa enc --public pub.pem in o6", 0});
  }
  for (const auto &c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<std::string> argv = Words(c.command);
    argv.insert(argv.begin(), {"prlimit", "--as=" + std::to_string(64u << 20), YDR_TOOL});
    const auto result = ydr::test::RunProcess(argv, {}, "", dir.path());
    EXPECT_EQ(result.exit_status, c.status) << result.err;  // -1: killed by a signal
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  for (const char *output : {"o1", "o3", "o4"}) EXPECT_FALSE(fs::exists(dir / output)) << output;
}
#endif

// On a terminal: compressed data and ciphertext only when forced, decompressed and decrypted
// text freely, a password asked for without echo, and Ctrl-C at the prompt giving the echo back.
TEST(ToolInputTest, OnATerminal) {
  ydr::test::TempDir dir;
  dir.WriteFile("in", "plaintext");
  dir.WriteFile("password", "a long enough password");
  ASSERT_EQ(Ydr(Words("gz in"), "", dir.path()).exit_status, 0);
  ASSERT_EQ(Ydr(Words("seed enc --mode ecb --key " + kKey + " in sealed"), "", dir.path()).exit_status, 0);
  struct Case {
    std::string command;
    int status;
    const char *shown;
    const char *keys = "";  // typed at the password prompt
    int signal = 0;
  };
  std::vector<Case> cases = {
      {"gz -c in", 1, "not written to a terminal"},
      {"gz -c -f in", 0, ""},
      {"seed enc --mode ecb --key " + kKey + " in", 1, "not written to a terminal"},
      {"seed enc --mode ecb --key " + kKey + " in -f", 0, ""},
      {"ven enc --kind 4 --password-file password in", 1, "not written to a terminal"},
      {"ven enc --kind 4 --password-file password in -f", 0, ""},
      {"gz -dc in.ydgz", 0, "plaintext"},
      {"seed dec --mode ecb --key " + kKey + " sealed", 0, "plaintext"},
      {"ven lvz", 0, "A9993E364706816ABA3E25717850C26C9CD0D89D", "abc\n"},
      {"ven lvz", -1, "", "\x03", SIGINT},
  };
  if (MakeKeys(dir)) {
    cases.push_back({"rsa enc --public pub.pem in", 1, "not written to a terminal"});
    cases.push_back({"rsa enc --public pub.pem in -f", 0, ""});
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.command + (*c.keys != '\0' ? ", typing at the prompt" : ""));
    std::vector<std::string> args = Words(c.command);
    args.insert(args.begin(), YDR_TOOL);
    const auto run = ydr::test::RunWith(args, {dir.path(), true, *c.keys != '\0' ? "Password: " : "", c.keys});
    EXPECT_TRUE(run.ready) << "no prompt: " << run.out;
    EXPECT_EQ(run.exit_status, c.status) << run.out;
    EXPECT_EQ(run.signal, c.signal);
    EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
    EXPECT_TRUE(run.echoing);
    EXPECT_TRUE(*c.keys == '\0' || run.out.find("abc") == std::string::npos) << run.out;  // typed, not echoed
  }
}

// A member stream of `runs` * 258 + 1 zero bytes, a few bytes per kilobyte (one fixed-code block:
// a literal zero, matches of 258 at distance 1); its CRC-32 is wrong, which no interrupted run sees.
std::string LongZeroStream(std::uint32_t runs) {
  ydr::test::BitStream bits;
  bits.Bits(0x3, 3).Code(0x30, 8);                                         // the last block, fixed codes; 0
  for (std::uint32_t i = 0; i < runs; ++i) bits.Code(0xC5, 8).Code(0, 5);  // length 258, distance 1
  std::string stream = bits.Code(0, 7).Finish() + std::string(4, '\0');    // end of block; the CRC-32
  for (int i = 0; i < 4; ++i) stream += static_cast<char>((runs * 258u + 1u) >> (8 * i));
  return stream;
}

TEST(ToolInterruptTest, SignalsLeaveNoTemporaryAndKeepThePreviousOutput) {
  struct Case {
    int signal;
    std::string command;
    const char *previous;  // a previous output, which must survive
    const char *absent;    // an output that must not appear; null when none
  };
  const Case cases[] = {
      {SIGINT, "seed enc --mode cbc --key " + kKey + " --iv " + kKey + " in out", "out", nullptr},
      {SIGHUP, "ven enc --kind 1 --password-file password in out", "out", nullptr},
      {SIGTERM, "gz -f in", "in.ydgz", nullptr},
      {SIGINT, "pack -j 1 a.ydz tree", "tree/small.txt", "a.ydz"},
      {SIGTERM, "unpack big.ydz out", "out/big/kept.txt", "out/big/zeros"},
      {SIGINT, "unpack --overwrite zeros.ydz out", "out/zeros", nullptr},
  };
  const std::string zeros = LongZeroStream(4u << 20);  // about 1 GiB
  const std::string big = ydr::test::BuildArchive({ArchiveMember::Raw("big\\zeros", zeros)});
  const std::string replacing = ydr::test::BuildArchive({ArchiveMember::Raw("zeros", zeros)});
  for (const Case &c : cases) {
    SCOPED_TRACE(c.command + ", signal " + std::to_string(c.signal));
    TempDir dir;
    // An input that never ends: a pipe held open at both ends, so that opening it never blocks.
    ASSERT_EQ(mkfifo((dir / "in").c_str(), 0600), 0);
    const int held = open((dir / "in").c_str(), O_RDWR | O_CLOEXEC);
    dir.WriteFile("password", "secret\n");
    fs::resize_file(dir.WriteFile("tree/zeros"), std::uintmax_t{1} << 30);  // sparse: slow to pack only
    dir.WriteFile("big.ydz", big);
    dir.WriteFile("zeros.ydz", replacing);
    dir.WriteFile(c.previous, "previous");
    std::vector<std::string> argv = ydr::test::Words(c.command);
    argv.insert(argv.begin(), YDR_TOOL);
    const auto temporaries = [&] {  // "<target>.ydr-XXXXXX" and "<member>.<hex>.part"
      std::vector<std::string> found;
      for (const std::string &path : ydr::test::PathsBelow(dir.path())) {
        if (path.find(".ydr-") != std::string::npos || path.find(".part") != std::string::npos) found.push_back(path);
      }
      return found;
    };
    const auto run =
        ydr::test::RunWith(argv, {dir.path(), false, "", "", [&] { return !temporaries().empty(); }, c.signal});
    EXPECT_TRUE(run.ready) << "no temporary file appeared; " << run.err;
    EXPECT_EQ(run.signal, c.signal) << "exit status " << run.exit_status << ": " << run.err;
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
    EXPECT_EQ(ydr::test::ReadFile(dir / c.previous), "previous");
    EXPECT_FALSE(c.absent != nullptr && fs::exists(dir / c.absent));
    close(held);
  }
}

}  // namespace

#endif
