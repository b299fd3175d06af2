// ydr gz as gzip users use it: FILE to FILE.ydgz and back, -c, -k, -f, -t, -l, refusals to
// overwrite and to write to a terminal, and outputs that are links, pipes or kept modes.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
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

TEST(ToolGzTest, FilesGoToTheirSuffixAndBack) {
  ydr::test::TempDir dir;
  const std::string data = Text();
  const std::string in = dir.WriteFile("notes.txt", data);
  ASSERT_EQ(Ydr({"gz", in}).exit_status, 0);
  EXPECT_EQ(ReadFile(in), data);  // kept
  const std::string packed = ReadFile(in + ".ydgz");
  EXPECT_LT(packed.size(), data.size() / 3);
  // Refused without -f: the output exists.
  const auto again = Ydr({"gz", in});
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
  // -c to standard output, the files left as they are.
  const auto out = Ydr({"gz", "-dc", in + ".ydgz"});
  EXPECT_EQ(out.exit_status, 0);
  EXPECT_EQ(out.out, data);
  // No suffix to strip, or one already there: left alone.
  EXPECT_EQ(Ydr({"gz", "-d", dir.WriteFile("plain", "x")}).exit_status, 1);
  EXPECT_EQ(Ydr({"gz", in + ".ydgz"}).exit_status, 1);
  EXPECT_EQ(Ydr({"gz", dir.path()}).exit_status, 1);  // a folder
  EXPECT_EQ(Ydr({"gz", dir / "missing"}).exit_status, 1);
}

TEST(ToolGzTest, EveryLevelReadsBackWithoutSayingWhichAndListsItsSizes) {
  ydr::test::TempDir dir;
  const std::string data = Text();
  for (const char *level : {"0", "1", "2"}) {
    SCOPED_TRACE(level);
    const auto packed = Ydr({"gz", "--level", level}, data);
    ASSERT_EQ(packed.exit_status, 0);
    EXPECT_EQ(Ydr({"gz", "-d"}, packed.out).out, data);  // the widest window by default
    const std::string file = dir.WriteFile(std::string("l") + level + ".ydgz", packed.out);
    EXPECT_EQ(Ydr({"gz", "-t", file}).exit_status, 0);
    const auto listed = Ydr({"gz", "-l", file});
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_NE(listed.out.find("compressed uncompressed"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(std::to_string(data.size())), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(std::to_string(packed.out.size())), std::string::npos) << listed.out;
  }
  // --level is for compressing: a level-2 stream whose matches reach 20 KB back reads back
  // with any --level given.
  std::string far;
  for (std::uint32_t x = 7; far.size() < 20000;) far.push_back(static_cast<char>((x = x * 1103515245u + 12345u) >> 24));
  far += far;
  const auto wide = Ydr({"gz", "--level", "2"}, far);
  for (const char *level : {"0", "1", "2"}) EXPECT_EQ(Ydr({"gz", "-d", "--level", level}, wide.out).out, far) << level;
}

TEST(ToolGzTest, CompressedDataIsNotWrittenToATerminal) {
  ydr::test::TempDir dir;
  if (!ydr::test::TerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminal to run the command on here";
  const std::string in = dir.WriteFile("in", "data");
  const auto refused = ydr::test::RunInTerminal({YDR_TOOL, "gz", "-c", in});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.out.find("not written to a terminal"), std::string::npos) << refused.out;
  EXPECT_EQ(ydr::test::RunInTerminal({YDR_TOOL, "gz", "-cf", in}).exit_status, 0);
  // Decompressed text may go to the terminal.
  ASSERT_EQ(Ydr({"gz", in}).exit_status, 0);
  const auto text = ydr::test::RunInTerminal({YDR_TOOL, "gz", "-dc", in + ".ydgz"});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_NE(text.out.find("data"), std::string::npos);
}

#if !defined(_WIN32)  // modes, links and pipes as POSIX has them
// OUT is replaced only when it is a new name or a regular file (taking the input's mode); a
// link stays a link with its target written, and a pipe is written into, never replaced.
TEST(ToolGzTest, OutputKeepsLinksAndPipes) {
  ydr::test::TempDir dir;
  const std::string data(100000, 'q');
  const std::string in = dir.WriteFile("in", data);
  const std::string packed = Ydr({"gz"}, data).out;

  const std::string kept = dir.WriteFile("in.ydgz", "old");
  ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
  ASSERT_EQ(chmod(in.c_str(), 0640), 0);
  EXPECT_EQ(Ydr({"gz", "-f", in}).exit_status, 0);
  struct stat info;
  ASSERT_EQ(stat(kept.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadFile(kept), packed);

  const std::string other = dir.WriteFile("other", data);
  const std::string target = dir.WriteFile("target", "old");
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

  const std::string third = dir.WriteFile("third", data);
  const std::string pipe = third + ".ydgz";
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

#endif

TEST(ToolGzTest, BadStreamsFailAndLeaveNoOutputFile) {
  ydr::test::TempDir dir;
  const std::string packed = Ydr({"gz"}, std::string(50000, 'x') + "tail").out;
  std::string mismatch = packed;
  mismatch[mismatch.size() - 5] ^= 1;  // the trailer's CRC
  struct Case {
    const char *name;
    std::string stream;
    const char *message;
  };
  const Case cases[] = {
      {"cut short", packed.substr(0, packed.size() / 2), "damaged or incomplete"},
      {"trailer mismatch", mismatch, "trailer"},
      {"not a stream", std::string(100, '\xff'), "damaged or incomplete"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir.WriteFile("bad.ydgz", c.stream);
    const auto result = Ydr({"gz", "-d", in});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("'" + in + "'"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir / "bad"));
    EXPECT_EQ(Ydr({"gz", "-t", in}).exit_status, 1);
  }
}

// Streams written one after another read back as one, whatever their sizes (so the reader's
// read-ahead ends anywhere in the next stream); what follows the last whole stream and is no
// stream is a warning (exit 2) with the streams before it kept. The format has no header, so
// a later stream that does not decode completely counts as such trailing data, unless it got
// past the first mebibyte: then it is damage, and the run fails.
TEST(ToolGzTest, ConcatenatedStreamsReadBackOneAfterAnother) {
  ydr::test::TempDir dir;
  const std::string text = Text();
  std::string noise;
  for (std::uint32_t x = 1; noise.size() < 5000;) noise += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  std::string large;
  for (std::uint64_t i = 0; large.size() < (3u << 20); ++i) large += std::to_string(i * 7919 % 100003) + ",";
  const std::string a = Ydr({"gz"}, text).out, b = Ydr({"gz", "--level", "2"}, noise).out, empty = Ydr({"gz"}).out,
                    tiny = Ydr({"gz"}, "x").out, big = Ydr({"gz"}, large).out;
  ASSERT_EQ(empty.size(), 10u);
  std::string many_tiny, many_x;
  for (int i = 0; i < 500; ++i) many_tiny += tiny, many_x += "x";
  std::string big_mismatch = big;
  big_mismatch[big_mismatch.size() - 6] ^= 0x10;  // its trailer's CRC
  struct Case {
    const char *name;
    std::string stream;
    int status;
    std::string out;
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
      {"a long second stream with a bad trailer", tiny + big_mismatch, 1, ""},
      {"nothing but garbage", "garbage\n", 1, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto piped = Ydr({"gz", "-dc"}, c.stream);
    EXPECT_EQ(piped.exit_status, c.status) << piped.err;
    if (c.status != 1) {
      EXPECT_TRUE(piped.out == c.out) << piped.out.size() << " bytes, not " << c.out.size();
    }
    if (c.status == 2) {
      EXPECT_NE(piped.err.find("trailing garbage ignored"), std::string::npos) << piped.err;
    }

    const std::string in = dir.WriteFile("joined.ydgz", c.stream);
    EXPECT_EQ(Ydr({"gz", "-t", in}).exit_status, c.status);  // the same verdict without writing
    const auto restored = Ydr({"gz", "-d", "--remove", in});
    EXPECT_EQ(restored.exit_status, c.status) << restored.err;
    EXPECT_EQ(fs::exists(dir / "joined"), c.status != 1);
    if (c.status != 1) {
      EXPECT_TRUE(ReadFile(dir / "joined") == c.out);
    }
    EXPECT_EQ(fs::exists(in), c.status != 0);  // removed only after a clean run
    fs::remove(dir / "joined");
  }
  const auto quiet = Ydr({"gz", "-dcq"}, a + "garbage");
  EXPECT_EQ(quiet.exit_status, 2);  // -q silences the warning, not the status
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(quiet.out == text);
}

#if !defined(_WIN32)  // permissions, times, links and pipes as POSIX has them
// The output takes the input's permissions and modification time, both ways, as gzip's do.
TEST(ToolGzTest, OutputTakesTheInputsPermissionsAndTime) {
  ydr::test::TempDir dir;
  const timespec times[2] = {{1000000000, 0}, {981173106, 123456789}};  // the time: 2001-02-03
  for (const mode_t mode : {0600, 0640, 0755, 0444}) {
    SCOPED_TRACE(mode);
    const std::string in = dir.WriteFile("data", Text());
    ASSERT_EQ(chmod(in.c_str(), mode), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, in.c_str(), times, 0), 0);
    for (const bool compress : {true, false}) {
      SCOPED_TRACE(compress ? "compressing" : "decompressing");
      const std::string from = compress ? in : in + ".ydgz", to = compress ? in + ".ydgz" : in;
      const auto result = Ydr({"gz", compress ? "-q" : "-d", from});
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
  const std::string data = Text(), packed = Ydr({"gz"}, data).out;
  struct Case {
    const char *name;
    bool decompress;
    bool hard_link;
  };
  const Case cases[] = {
      {"compressing, FILE.ydgz a link to FILE", false, false},
      {"compressing, FILE.ydgz a second name of FILE", false, true},
      {"decompressing, FILE a link to FILE.ydgz", true, false},
      {"decompressing, FILE a second name of FILE.ydgz", true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string plain = dir / "data", stream = plain + ".ydgz";
    const std::string in = c.decompress ? stream : plain, out = c.decompress ? plain : stream;
    const std::string content = c.decompress ? packed : data;
    dir.WriteFile(c.decompress ? "data.ydgz" : "data", content);
    c.hard_link ? fs::create_hard_link(in, out) : fs::create_symlink(in, out);
    const auto result = Ydr({"gz", "-f", "--remove", c.decompress ? "-d" : "-q", in});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("itself"), std::string::npos) << result.err;
    EXPECT_TRUE(ReadFile(in) == content);
    fs::remove(in);
    fs::remove(out);
  }
}

// -l reads the trailer at the end of a regular file; anything else is refused at once (a
// pipe that nobody writes to would otherwise be waited on for ever).
TEST(ToolGzTest, ListTakesRegularFilesOnly) {
  ydr::test::TempDir dir;
  const std::string fifo = dir / "pipe.ydgz";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A command that opens the pipe to read it would wait for a writer: one comes after a
  // while, so that such a command fails this test instead of hanging it.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!done && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  struct Case {
    std::string operand;
    const char *message;
  };
  const Case cases[] = {
      {fifo, "not a regular file"},
      {dir.path(), "not a regular file"},
      {"-", "standard input"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.operand);
    const auto result = Ydr({"gz", "-l", c.operand}, "some input");
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  done = true;
  writer.join();
}
#endif

}  // namespace
