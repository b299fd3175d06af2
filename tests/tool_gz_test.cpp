// ydr gz as gzip users use it: FILE to FILE.ydgz and back, -c, -k, -f, -t, -l, refusals to
// overwrite, and outputs that are links, pipes or kept modes.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ReadFile;
using ydr::test::Ydr;

std::string Text() {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "line " + std::to_string(i * 7 % 1000) + "\n";
  return data;
}

// Bytes that do not compress.
std::string Noise(std::size_t size) {
  std::string noise;
  for (std::uint32_t x = 7; noise.size() < size;) noise += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  return noise;
}

TEST(ToolGzTest, FilesGoToTheirSuffixAndBack) {
  ydr::test::TempDir dir;
  const std::string data = Text();
  const std::string in = dir.WriteFile("notes.txt", data);
  ASSERT_EQ(Ydr({"gz", in}).exit_status, 0);
  EXPECT_EQ(ReadFile(in), data);  // kept
  const std::string packed = ReadFile(in + ".ydgz");
  EXPECT_LT(packed.size(), data.size() / 3);
  const auto again = Ydr({"gz", in});  // refused without -f: the output exists
  EXPECT_EQ(again.exit_status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  fs::remove(in);
  ASSERT_EQ(Ydr({"gz", "-d", in + ".ydgz"}).exit_status, 0);
  EXPECT_EQ(ReadFile(in), data);
  EXPECT_TRUE(fs::exists(in + ".ydgz"));
  // --remove takes the input away once the output is complete; -f replaces.
  ASSERT_EQ(Ydr({"gz", "-f", "--remove", in}).exit_status, 0);
  EXPECT_FALSE(fs::exists(in));
  EXPECT_EQ(ReadFile(in + ".ydgz"), packed);
  const auto out = Ydr({"gz", "-dc", in + ".ydgz"});
  EXPECT_EQ(out.exit_status, 0);
  EXPECT_EQ(out.out, data);
  dir.WriteFile("plain", "x");
  const ydr::test::CommandCase refused[] = {
      {"gz -d plain", 1, "", "does not end in .ydgz"},
      {"gz notes.txt.ydgz", 1, "", "already has the .ydgz suffix"},
      {"gz .", 1, "", "is a folder"},
      {"gz missing", 1, "", "cannot open 'missing'"},
  };
  for (const auto &c : refused) ydr::test::ExpectCommand(c, dir.path());
}

TEST(ToolGzTest, EveryLevelReadsBackWithoutSayingWhichAndListsItsSizes) {
  ydr::test::TempDir dir;
  // At level 2 its matches reach 20 KB back: --level given to -d must not narrow the window.
  const std::string data = Text() + Noise(20000) + Noise(20000);
  for (const char *level : {"0", "1", "2"}) {
    SCOPED_TRACE(level);
    const auto packed = Ydr({"gz", "--level", level}, data);
    ASSERT_EQ(packed.exit_status, 0);
    EXPECT_EQ(Ydr({"gz", "-d", "--level", "0"}, packed.out).out, data);
    const std::string file = dir.WriteFile(std::string("l") + level + ".ydgz", packed.out);
    EXPECT_EQ(Ydr({"gz", "-t", file}).exit_status, 0);
    const auto listed = Ydr({"gz", "-l", file});
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_NE(listed.out.find("compressed uncompressed"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(std::to_string(data.size())), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(std::to_string(packed.out.size())), std::string::npos) << listed.out;
  }
}

// Streams one after another read back as one, wherever the read-ahead ends; what follows the
// last whole stream is a warning (exit 2), unless it decoded past its first mebibyte: then, as a
// bad first stream, it fails the run, naming the file and leaving no output.
TEST(ToolGzTest, ConcatenatedStreamsReadBackAndBadOnesFail) {
  ydr::test::TempDir dir;
  const std::string text = Text(), noise = Noise(5000);
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
    std::string out;  // status 1: the message
  };
  const Case cases[] = {
      {"one stream", a, 0, text},
      {"two streams, two levels", a + b, 0, text + noise},
      {"an empty stream between", a + empty + b + empty, 0, text + noise},
      {"five hundred streams of one byte", many_tiny, 0, many_x},
      {"a long stream second", tiny + big, 0, "x" + large},
      {"trailing text", a + "garbage\n", 2, text},
      {"trailing zeros", a + b + std::string(512, '\0'), 2, text + noise},
      {"a second stream cut short", a + b.substr(0, b.size() / 2), 2, text},
      {"a long second stream with a bad trailer", tiny + big_mismatch, 1, "trailer"},
      {"nothing but garbage", "garbage\n", 1, "damaged or incomplete"},
      {"cut short", a.substr(0, a.size() / 2), 1, "damaged or incomplete"},
      {"a bad trailer", a_mismatch, 1, "trailer"},
      {"not a stream", std::string(100, '\xff'), 1, "damaged or incomplete"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto piped = Ydr({"gz", "-dc"}, c.stream);
    EXPECT_EQ(piped.exit_status, c.status) << piped.err;
    EXPECT_TRUE(c.status == 1 || piped.out == c.out) << piped.out.size() << " bytes, not " << c.out.size();
    EXPECT_EQ(piped.err.find("trailing garbage ignored") != std::string::npos, c.status == 2) << piped.err;

    const std::string in = dir.WriteFile("joined.ydgz", c.stream);
    EXPECT_EQ(Ydr({"gz", "-t", in}).exit_status, c.status);  // the same verdict without writing
    const auto restored = Ydr({"gz", "-d", "--remove", in});
    EXPECT_EQ(restored.exit_status, c.status) << restored.err;
    EXPECT_EQ(fs::exists(dir / "joined"), c.status != 1);
    EXPECT_TRUE(c.status == 1 || ReadFile(dir / "joined") == c.out);
    // A failure names the file and says why.
    EXPECT_TRUE(c.status != 1 || restored.err.find("'" + in + "': ") != std::string::npos) << restored.err;
    EXPECT_TRUE(c.status != 1 || restored.err.find(c.out) != std::string::npos) << restored.err;
    EXPECT_EQ(fs::exists(in), c.status != 0);  // removed only after a clean run
    fs::remove(dir / "joined");
  }
  const auto quiet = Ydr({"gz", "-dcq"}, a + "garbage");
  EXPECT_EQ(quiet.exit_status, 2);  // -q silences the warning, not the status
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(quiet.out == text);
}

#if !defined(_WIN32)  // permissions, times, links and pipes as POSIX has them
// OUT is replaced only when it is a new name or a regular file; a link stays a link with its
// target written, and a pipe is written into, never replaced.
TEST(ToolGzTest, OutputKeepsLinksAndPipes) {
  ydr::test::TempDir dir;
  const std::string data(100000, 'q');
  const std::string packed = Ydr({"gz"}, data).out;
  const std::string other = dir.WriteFile("other", data), target = dir.WriteFile("target", "old");
  fs::create_symlink(target, other + ".ydgz");
  EXPECT_EQ(Ydr({"gz", "-f", other}).exit_status, 0);
  EXPECT_TRUE(fs::is_symlink(other + ".ydgz"));
  EXPECT_EQ(ReadFile(target), packed);

  // A link that leads nowhere is refused rather than followed to make a file where it points.
  const std::string lone = dir.WriteFile("lone", data);
  fs::create_symlink(dir / "made-elsewhere", lone + ".ydgz");
  const auto dangling = Ydr({"gz", "-f", lone});
  EXPECT_EQ(dangling.exit_status, 1);
  EXPECT_NE(dangling.err.find("leads nowhere"), std::string::npos) << dangling.err;
  EXPECT_FALSE(fs::exists(dir / "made-elsewhere"));

  const std::string third = dir.WriteFile("third", data), pipe = third + ".ydgz";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::string drained;
  std::thread reader([&] { drained = ReadFile(pipe); });
  EXPECT_EQ(Ydr({"gz", "-f", third}).exit_status, 0);
  reader.join();
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(drained, packed);
  for (const auto &entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".ydr-"), std::string::npos) << entry.path();  // no temporary left
  }
}

// The output, new or replaced, takes the input's permissions and modification time, both ways,
// as gzip's do.
TEST(ToolGzTest, OutputTakesTheInputsPermissionsAndTime) {
  ydr::test::TempDir dir;
  const timespec times[2] = {{1000000000, 0}, {981173106, 123456789}};  // the time: 2001-02-03
  for (const mode_t mode : {0600, 0640, 0755, 0444}) {
    const std::string in = dir.WriteFile("data", Text());
    if (mode == 0640) dir.WriteFile("data.ydgz", "old");  // a file of its own mode (0644), replaced
    ASSERT_EQ(chmod(in.c_str(), mode), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, in.c_str(), times, 0), 0);
    for (const bool compress : {true, false}) {
      SCOPED_TRACE(std::to_string(mode) + (compress ? " compressing" : " decompressing"));
      const std::string from = compress ? in : in + ".ydgz", to = compress ? in + ".ydgz" : in;
      const auto result = Ydr({"gz", "-f", compress ? "-q" : "-d", from});
      ASSERT_EQ(result.exit_status, 0) << result.err;
      struct stat info {};
      ASSERT_EQ(stat(to.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, mode);
      EXPECT_EQ(info.st_mtim.tv_sec, times[1].tv_sec);
      EXPECT_EQ(info.st_mtim.tv_nsec, times[1].tv_nsec);
      if (compress) fs::remove(in);
    }
    fs::remove(in + ".ydgz");
  }
}

// An output that is the input under another name (a link to it, a second hard link) is
// refused: writing it would replace the input, and --remove would then remove the only copy.
TEST(ToolGzTest, AnOutputThatIsTheInputIsRefused) {
  ydr::test::TempDir dir;
  const std::string plain = dir / "data", stream = plain + ".ydgz";
  const std::string data = Text(), packed = Ydr({"gz"}, data).out;
  for (const bool decompress : {false, true}) {
    for (const bool hard_link : {false, true}) {
      SCOPED_TRACE(std::string(decompress ? "decompressing" : "compressing") + (hard_link ? ", hard" : ", symbolic"));
      const std::string in = decompress ? stream : plain, out = decompress ? plain : stream;
      const std::string content = decompress ? packed : data;
      dir.WriteFile(decompress ? "data.ydgz" : "data", content);
      hard_link ? fs::create_hard_link(in, out) : fs::create_symlink(in, out);
      const auto result = Ydr({"gz", "-f", "--remove", decompress ? "-d" : "-q", in});
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_NE(result.err.find("itself"), std::string::npos) << result.err;
      EXPECT_TRUE(ReadFile(in) == content);
      fs::remove(in);
      fs::remove(out);
    }
  }
}

// -l reads the trailer at the end of a regular file; anything else is refused at once (a
// pipe that nobody writes to would otherwise be waited on until the runner's deadline).
TEST(ToolGzTest, ListTakesRegularFilesOnly) {
  ydr::test::TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe.ydgz").c_str(), 0600), 0);
  for (const char *operand : {"pipe.ydgz", "."}) {
    ydr::test::ExpectCommand({"gz -l " + std::string(operand), 1, "", "not a regular file", "input"}, dir.path());
  }
  ydr::test::ExpectCommand({"gz -l -", 1, "", "standard input", "some input"});
}
#endif

}  // namespace
