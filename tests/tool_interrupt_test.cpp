// Interrupting the command mid-work (Ctrl-C, kill, a closed terminal): no temporary file is
// left behind, the previous output is untouched, the process ends by the signal it got, and
// a password prompt gives the terminal its echo back.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ArchiveMember;
using ydr::test::TempDir;

// Names below `root` that hold `piece` (temporary files are named "<target>.ydr-XXXXXX"
// and "<member>.<hex>.part").
std::vector<std::string> NamesWith(const std::string &root, const std::string &piece) {
  std::vector<std::string> found;
  for (const auto &entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name.find(piece) != std::string::npos) found.push_back(name);
  }
  return found;
}

// A member stream that decodes to `runs` * 258 + 1 zero bytes from a few bytes per kilobyte:
// one fixed-code block of a literal zero and matches of 258 at distance 1. Its trailer's
// CRC-32 is wrong, which a run interrupted long before the end never sees.
std::string LongZeroStream(std::uint32_t runs) {
  std::string stream;
  std::uint64_t pending = 0;
  int used = 0;
  const auto bits = [&](std::uint32_t value, int count) {  // least significant first
    pending |= static_cast<std::uint64_t>(value) << used;
    for (used += count; used >= 8; used -= 8, pending >>= 8) stream += static_cast<char>(pending & 0xFF);
  };
  bits(0x3, 3);                                             // the last block, fixed codes
  bits(0x0C, 8);                                            // literal 0: code 00110000, sent from its first bit
  for (std::uint32_t i = 0; i < runs; ++i) bits(0xA3, 13);  // length 258 (11000101), distance 1 (00000)
  bits(0, 7 + 7);                                           // end of block, and the last byte's padding
  const std::uint32_t length = runs * 258u + 1u;
  stream.append(4, '\0');  // CRC-32
  for (int i = 0; i < 4; ++i) stream += static_cast<char>(length >> (8 * i));
  return stream;
}

TEST(ToolInterruptTest, SignalsLeaveNoTemporaryAndKeepThePreviousOutput) {
  struct Case {
    int signal;
    const char *command;          // run in the case's folder
    const char *temporary_piece;  // in the name of the temporary file to wait for
    const char *previous;         // the previous output, which must survive
    const char *absent;           // an output that must not appear; null when none
  };
  const Case cases[] = {
      {SIGINT,
       "seed enc --mode cbc --key 00112233445566778899aabbccddeeff --iv 0123456789abcdef0123456789abcdef in out",
       ".ydr-", "out", nullptr},
      {SIGHUP, "ven enc --kind 1 --password-file password in out", ".ydr-", "out", nullptr},
      {SIGTERM, "gz -f in", ".ydr-", "in.ydgz", nullptr},
      {SIGINT, "pack -j 1 a.ydz tree", ".ydr-", "tree/small.txt", "a.ydz"},
      {SIGTERM, "unpack big.ydz out", ".part", "out/big/kept.txt", "out/big/zeros"},
      {SIGINT, "unpack --overwrite zeros.ydz out", ".part", "out/zeros", nullptr},
  };
  const std::string zeros = LongZeroStream(4u << 20);  // about 1 GiB
  const std::string big = ydr::test::BuildArchive({ArchiveMember::Raw("big\\zeros", zeros)});
  const std::string replacing = ydr::test::BuildArchive({ArchiveMember::Raw("zeros", zeros)});
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.command) + ", signal " + std::to_string(c.signal));
    TempDir dir;
    // An input that never ends: a pipe held open for writing (and reading, so that opening it
    // never blocks); the command waits in its read.
    ASSERT_EQ(mkfifo((dir / "in").c_str(), 0600), 0);
    const int held = open((dir / "in").c_str(), O_RDWR | O_CLOEXEC);
    dir.WriteFile("password", "secret\n");
    fs::resize_file(dir.WriteFile("tree/zeros"), std::uintmax_t{1} << 30);  // sparse: slow to pack only
    dir.WriteFile("big.ydz", big);
    dir.WriteFile("zeros.ydz", replacing);
    dir.WriteFile(c.previous, "previous");
    std::vector<std::string> argv = ydr::test::Words(c.command);
    argv.insert(argv.begin(), YDR_TOOL);
    const auto appeared = [&] { return !NamesWith(dir.path(), c.temporary_piece).empty(); };
    const auto run = ydr::test::RunAndInterrupt(argv, appeared, c.signal, dir.path());
    EXPECT_TRUE(run.ready) << "no temporary file appeared; " << run.err;
    EXPECT_EQ(run.signal, c.signal) << "exit status " << run.exit_status << ": " << run.err;
    EXPECT_EQ(NamesWith(dir.path(), c.temporary_piece), std::vector<std::string>{});
    EXPECT_EQ(ydr::test::ReadFile(dir / c.previous), "previous");
    EXPECT_FALSE(c.absent != nullptr && fs::exists(dir / c.absent));
    close(held);
  }
}

TEST(ToolInterruptTest, CtrlCAtAPasswordPromptGivesTheEchoBack) {
  const auto run = ydr::test::RunInTerminal({YDR_TOOL, "ven", "lvz"}, "Password: ", "\x03");
  ASSERT_TRUE(run.ready) << run.out;
  EXPECT_EQ(run.signal, SIGINT) << "exit status " << run.exit_status << ": " << run.out;
  EXPECT_TRUE(run.echoing);
}

}  // namespace
#endif
