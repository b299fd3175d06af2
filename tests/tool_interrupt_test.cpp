// Interrupting the command mid-work (Ctrl-C, kill, a closed terminal): no temporary file is
// left behind, the previous output is untouched, the process ends by the signal it got, and
// a password prompt gives the terminal its echo back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/archive_bytes.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::InterruptedRun;
using ydr::test::ReadFile;
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

// A file of `size` zero bytes that takes no room on disk: slow to pack, quick to make.
void MakeSparseFile(const std::string &path, off_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  ASSERT_EQ(close(fd), 0);
}

// Deflate bits, least significant first.
class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    pending_ |= static_cast<std::uint64_t>(value) << used_;
    used_ += count;
    for (; used_ >= 8; used_ -= 8, pending_ >>= 8) bytes_ += static_cast<char>(pending_ & 0xFF);
  }
  std::string Take() {
    if (used_ > 0) bytes_ += static_cast<char>(pending_ & 0xFF);
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  std::uint64_t pending_ = 0;
  int used_ = 0;
};

// A Huffman code as the bit writer takes it: deflate sends a code from its first bit.
std::uint32_t Reversed(std::uint32_t code, int length) {
  std::uint32_t out = 0;
  for (int i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
  return out;
}

// A member stream that decodes to `runs` * 258 + 1 zero bytes from a few bytes per
// kilobyte: one fixed-code block of a literal zero and matches of 258 at distance 1. Its
// trailer's CRC-32 is wrong, which a run interrupted long before the end never sees.
std::string LongZeroStream(std::uint32_t runs) {
  BitWriter bits;
  bits.Bits(1, 1);                                // the last block
  bits.Bits(1, 2);                                // fixed codes
  bits.Bits(Reversed(0x30, 8), 8);                // literal 0
  const std::uint32_t match = Reversed(0xC5, 8);  // length 258 (symbol 285); distance 1 is code 0 in 5 bits
  for (std::uint32_t i = 0; i < runs; ++i) bits.Bits(match, 13);
  bits.Bits(0, 7);  // end of block
  std::string stream = bits.Take();
  const std::uint32_t length = runs * 258u + 1u;
  for (int i = 0; i < 4; ++i) stream += '\0';  // CRC-32
  for (int i = 0; i < 4; ++i) stream += static_cast<char>(length >> (8 * i));
  return stream;
}

const char *SignalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "another";
}

struct Interruption {
  const char *what;
  int signal;
  // Prepares the folder (the previous output included) and gives the command's arguments.
  std::vector<std::string> (*prepare)(const TempDir &dir);
  const char *temporary_piece;  // in the name of the temporary file to wait for
  const char *previous;         // the previous output, which must survive; null when none
  const char *absent;           // an output that must not appear; null when none
};

constexpr const char *kKeyHex = "00112233445566778899aabbccddeeff";

// Inputs that never end: pipes the test holds open for writing (and reading, so that
// opening them never blocks) while a case runs; the command waits in its read.
std::vector<int> held_pipes;

std::string OpenPipe(const TempDir &dir, const std::string &name) {
  std::string path = dir / name;
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
  held_pipes.push_back(open(path.c_str(), O_RDWR | O_CLOEXEC));
  return path;
}

const Interruption kInterruptions[] = {
    {"seed writing a file", SIGINT,
     [](const TempDir &dir) -> std::vector<std::string> {
       dir.WriteFile("out.bin", "previous");
       return {"seed", "enc", "--mode", "cbc", "--key", kKeyHex, "--iv", kKeyHex, OpenPipe(dir, "in"), dir / "out.bin"};
     },
     ".ydr-", "out.bin", nullptr},
    {"ven writing a file", SIGHUP,
     [](const TempDir &dir) -> std::vector<std::string> {
       dir.WriteFile("out.bin", "previous");
       return {"ven",
               "enc",
               "--kind",
               "1",
               "--password-file",
               dir.WriteFile("password", "secret\n"),
               OpenPipe(dir, "in"),
               dir / "out.bin"};
     },
     ".ydr-", "out.bin", nullptr},
    {"gz replacing its output", SIGTERM,
     [](const TempDir &dir) -> std::vector<std::string> {
       dir.WriteFile("data.ydgz", "previous");
       return {"gz", "-f", OpenPipe(dir, "data")};
     },
     ".ydr-", "data.ydgz", nullptr},
    {"pack writing an archive", SIGINT,
     [](const TempDir &dir) -> std::vector<std::string> {
       MakeSparseFile(dir.MakeDir("tree") + "/zeros", off_t{1} << 30);
       dir.WriteFile("tree/small.txt", "previous");
       return {"pack", "-j", "1", dir / "a.ydz", dir / "tree"};
     },
     ".ydr-", "tree/small.txt", "a.ydz"},
    {"unpack writing a new member", SIGTERM,
     [](const TempDir &dir) -> std::vector<std::string> {
       const std::string archive = ydr::test::BuildArchive(
           {ydr::test::ArchiveMember::Raw("big\\zeros", LongZeroStream(4u << 20))});  // about 1 GiB
       dir.WriteFile("out/big/kept.txt", "previous");
       return {"unpack", dir.WriteFile("a.ydz", archive), dir / "out"};
     },
     ".part", "out/big/kept.txt", "out/big/zeros"},
    {"unpack replacing a file", SIGINT,
     [](const TempDir &dir) -> std::vector<std::string> {
       const std::string archive =
           ydr::test::BuildArchive({ydr::test::ArchiveMember::Raw("zeros", LongZeroStream(4u << 20))});
       dir.WriteFile("out/zeros", "previous");
       return {"unpack", "--overwrite", dir.WriteFile("a.ydz", archive), dir / "out"};
     },
     ".part", "out/zeros", nullptr},
};

TEST(ToolInterruptTest, SignalsLeaveNoTemporaryAndKeepThePreviousOutput) {
  for (const Interruption &c : kInterruptions) {
    SCOPED_TRACE(std::string(c.what) + " and " + SignalName(c.signal));
    TempDir dir;
    std::vector<std::string> argv = c.prepare(dir);
    argv.insert(argv.begin(), YDR_TOOL);
    const std::string root = dir.path();
    const std::string piece = c.temporary_piece;
    const InterruptedRun run = ydr::test::RunAndInterrupt(
        argv, [&] { return !NamesWith(root, piece).empty(); }, c.signal);
    EXPECT_TRUE(run.ready) << "no temporary file appeared; " << run.err;
    EXPECT_EQ(run.signal, c.signal) << "exit status " << run.exit_status << ": " << run.err;
    EXPECT_EQ(NamesWith(root, piece), std::vector<std::string>{});
    if (c.previous != nullptr) {
      EXPECT_EQ(ReadFile(dir / c.previous), "previous");
    }
    if (c.absent != nullptr) {
      EXPECT_FALSE(fs::exists(dir / c.absent));
    }
    for (const int fd : held_pipes) close(fd);
    held_pipes.clear();
  }
}

TEST(ToolInterruptTest, CtrlCAtAPasswordPromptGivesTheEchoBack) {
  const InterruptedRun run = ydr::test::TypeInTerminal({YDR_TOOL, "ven", "lvz"}, "Password: ", "\x03");
  ASSERT_TRUE(run.ready) << run.out;
  EXPECT_EQ(run.signal, SIGINT) << "exit status " << run.exit_status << ": " << run.out;
  EXPECT_TRUE(run.echoing);
}

}  // namespace
#endif
