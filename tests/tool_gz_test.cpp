// ydr gz: FILE to FILE.ydgz and back, -c, -f, -t, -l, refusals, links, pipes and kept modes.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/gz_streams.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::Noise;
using ydr::test::ReadFile;
using ydr::test::TextLike;
using ydr::test::Ydr;

// -l then lists the output in gzip's layout.
TEST(ToolGzTest, FilesGoToTheirSuffixAndBack) {
  ydr::test::TempDir dir;
  const std::string data = TextLike(150000, 1);
  dir.WriteFile("notes.txt", data);
  dir.WriteFile("plain", "x");
  const ydr::test::CommandCase steps[] = {
      {"gz notes.txt", 0},
      {"gz notes.txt", 1, "", "already exists"},  // the input kept, the output not replaced without -f
      {"gz -d -f notes.txt.ydgz", 0},
      {"gz -t notes.txt.ydgz", 0},      // kept by -d
      {"gz -f --remove notes.txt", 0},  // removed once the output is complete
      {"gz -dc notes.txt.ydgz", 0, data},
      {"gz -d plain", 1, "", "does not end in .ydgz"},
      {"gz notes.txt.ydgz", 1, "", "already has the .ydgz suffix"},
      {"gz .", 1, "", "is a folder"},
      {"gz missing", 1, "", "cannot open 'missing'"},
  };
  for (const auto &c : steps) ydr::test::ExpectCommand(c, dir.path());
  EXPECT_EQ(ydr::test::PathsBelow(dir.path()), (std::vector<std::string>{"notes.txt.ydgz", "plain"}));
  const std::size_t packed = ReadFile(dir / "notes.txt.ydgz").size();
  EXPECT_LT(packed, data.size() / 3);
  const auto listed = Ydr({"gz", "-l", "notes.txt.ydgz"}, "", dir.path());
  EXPECT_EQ(listed.exit_status, 0);
  const std::string layout = "  compressed uncompressed  ratio uncompressed_name\n +" + std::to_string(packed) + " +" +
                             std::to_string(data.size()) + " +[0-9.]+% notes.txt\n";
  EXPECT_TRUE(std::regex_match(listed.out, std::regex(layout))) << listed.out;
}

// --level picks the window: a repeat 6000 bytes back shrinks from level 1 on, one 20000 bytes
// back only at level 2; -d reads every level whatever --level it is given.
TEST(ToolGzTest, LevelsPickTheWindow) {
  const std::string near = Noise(6000, 1) + Noise(6000, 1), far = Noise(20000, 2) + Noise(20000, 2);
  for (const char level : {'0', '1', '2'}) {
    SCOPED_TRACE(level);
    const std::string far_packed = Ydr({"gz", "--level", {level}}, far).out;
    EXPECT_EQ(Ydr({"gz", "--level", {level}}, near).out.size() < near.size() * 3 / 4, level != '0');
    EXPECT_EQ(far_packed.size() < far.size() * 3 / 4, level == '2');
    EXPECT_EQ(Ydr({"gz", "-d", "--level", "1"}, far_packed).out, far);
  }
}

// Streams one after another read back as one, wherever the read-ahead ends; what follows the
// last whole stream is a warning (exit 2), unless it decoded past its first mebibyte: then, as a
// bad first stream, it fails the run, naming the file and leaving no output.
TEST(ToolGzTest, ConcatenatedStreamsReadBackAndBadOnesFail) {
  ydr::test::TempDir dir;
  const std::string text = TextLike(150000, 1), noise = Noise(5000, 3);
  std::string large;
  for (std::uint64_t i = 0; large.size() < (3u << 20); ++i) large += std::to_string(i * 7919 % 100003) + ",";
  const std::string a = Ydr({"gz"}, text).out, b = Ydr({"gz", "--level", "2"}, noise).out, empty = Ydr({"gz"}).out,
                    tiny = Ydr({"gz"}, "x").out, big = Ydr({"gz"}, large).out;
  ASSERT_EQ(empty.size(), 10u);
  std::string many_tiny, many_x, a_mismatch = a, big_mismatch = big;
  for (int i = 0; i < 500; ++i) many_tiny += tiny, many_x += "x";
  a_mismatch[a.size() - 5] ^= 1;         // its trailer's CRC
  big_mismatch[big.size() - 6] ^= 0x10;  // likewise
  struct Case {
    const char *name;
    std::string stream;
    int status;
    std::string out;  // status 1: why, in the message naming the file
  };
  const Case cases[] = {
      {"one stream", a, 0, text},
      {"an empty stream between", a + empty + b + empty, 0, text + noise},
      {"five hundred streams of one byte", many_tiny, 0, many_x},
      {"a long stream second", tiny + big, 0, "x" + large},
      {"trailing text", a + "garbage\n", 2, text},
      {"a second stream cut short", a + b.substr(0, b.size() / 2), 2, text},
      {"a long second stream with a bad trailer", tiny + big_mismatch, 1, "the CRC-32 or length in the trailer"},
      {"nothing but garbage", "garbage\n", 1, "the compressed data is damaged or incomplete"},
      {"cut short", a.substr(0, a.size() / 2), 1, "the compressed data is damaged or incomplete"},
      {"a bad trailer", a_mismatch, 1, "the CRC-32 or length in the trailer"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    dir.WriteFile("joined.ydgz", c.stream);
    EXPECT_EQ(Ydr({"gz", "-t", "joined.ydgz"}, "", dir.path()).exit_status, c.status);  // the same verdict, unwritten
    const std::string said = c.status == 1   ? "'joined.ydgz': " + c.out
                             : c.status == 2 ? "trailing garbage ignored"
                                             : "";
    ydr::test::ExpectCommand({"gz -d --remove joined.ydgz", c.status, "", said}, dir.path());
    EXPECT_TRUE(c.status == 1 ? !fs::exists(dir / "joined") : ReadFile(dir / "joined") == c.out) << c.out.size();
    EXPECT_EQ(fs::exists(dir / "joined.ydgz"), c.status != 0);  // removed only after a clean run
    fs::remove(dir / "joined");
  }
  const auto quiet = Ydr({"gz", "-dcq"}, a + "garbage");  // -q silences the warning, not the status
  EXPECT_EQ(std::make_tuple(quiet.exit_status, quiet.err, quiet.out == text), std::make_tuple(2, "", true));
}

#if !defined(_WIN32)  // permissions, times, links and pipes as POSIX has them
// A link stays a link with its target written; a pipe is written into, never replaced; the
// output, replacing a file or new, takes the input's permissions and modification time.
TEST(ToolGzTest, OutputKeepsLinksPipesAndTheInputsModeAndTime) {
  ydr::test::TempDir dir;
  const std::string data(100000, 'q'), packed = Ydr({"gz"}, data).out, target = dir.WriteFile("target", "old");
  dir.WriteFile("link", data);
  dir.WriteFile("pipe", data);
  fs::create_symlink(target, dir / "link.ydgz");
  ASSERT_EQ(mkfifo((dir / "pipe.ydgz").c_str(), 0600), 0);
  std::string drained;
  std::thread reader([&] { drained = ReadFile(dir / "pipe.ydgz"); });
  ydr::test::ExpectCommand({"gz -f pipe", 0}, dir.path());
  reader.join();
  ydr::test::ExpectCommand({"gz -f link", 0}, dir.path());
  EXPECT_TRUE(fs::is_symlink(dir / "link.ydgz") && fs::is_fifo(dir / "pipe.ydgz"));
  EXPECT_TRUE(ReadFile(target) == packed && drained == packed);
  const std::vector<std::string> no_temporary = {"link", "link.ydgz", "pipe", "pipe.ydgz", "target"};
  EXPECT_EQ(ydr::test::PathsBelow(dir.path()), no_temporary);

  const timespec times[2] = {{1000000000, 0}, {981173106, 123456789}};  // the time: 2001-02-03
  const std::string in = dir.WriteFile("data", data);
  dir.WriteFile("data.ydgz", "old");
  ASSERT_EQ(chmod(in.c_str(), 0750), 0);  // execute bits too, and none of the usual new file's
  ASSERT_EQ(utimensat(AT_FDCWD, in.c_str(), times, 0), 0);
  for (const std::string command : {"gz -f --remove data", "gz -d data.ydgz"}) {
    ydr::test::ExpectCommand({command, 0}, dir.path());
    struct stat info {};
    ASSERT_EQ(stat(fs::exists(in) ? in.c_str() : (in + ".ydgz").c_str(), &info), 0);
    EXPECT_EQ(std::make_tuple(info.st_mode & 07777, info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
              std::make_tuple(0750u, times[1].tv_sec, times[1].tv_nsec));
  }
}

// Refused, the folder left as it was: an output that is the input under another name, a link
// leading nowhere, and -l on anything but a regular file (a pipe nobody writes to would hang).
TEST(ToolGzTest, RefusalsLeaveTheFolderAsItWas) {
  const std::string data = TextLike(150000, 1), packed = Ydr({"gz"}, data).out;
  struct Case {
    const char *link, *target;  // made before the run; none when null
    bool hard;
    std::string command;
    const char *message;
  };
  const Case cases[] = {
      {"data.ydgz", "data", true, "gz -f --remove -q data", "itself"},
      {"data", "data.ydgz", false, "gz -f --remove -d data.ydgz", "itself"},
      {"data.ydgz", "made-elsewhere", false, "gz -f data", "leads nowhere"},
      {nullptr, nullptr, false, "gz -l pipe.ydgz", "not a regular file"},
      {nullptr, nullptr, false, "gz -l -", "standard input"},
  };
  for (const Case &c : cases) {
    ydr::test::TempDir dir;
    dir.WriteFile("data", data);
    dir.WriteFile("data.ydgz", packed);
    ASSERT_EQ(mkfifo((dir / "pipe.ydgz").c_str(), 0600), 0);
    if (c.link != nullptr) fs::remove(dir / c.link);
    if (c.link != nullptr)
      c.hard ? fs::create_hard_link(dir / c.target, dir / c.link) : fs::create_symlink(c.target, dir / c.link);
    const auto before = ydr::test::TreeBelow(dir.path());
    ydr::test::ExpectCommand({c.command, 1, "", c.message, "some input"}, dir.path());
    EXPECT_TRUE(ydr::test::TreeBelow(dir.path()) == before) << c.command;
  }
}
#endif

}  // namespace
