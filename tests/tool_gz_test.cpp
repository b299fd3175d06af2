// ydr gz as gzip users use it: FILE to FILE.ydgz and back, -c, -k, -f, -t, -l, refusals to
// overwrite and to write to a terminal, and outputs that are links, pipes or kept modes.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ReadFile;
using ydr::test::RunProcess;

ydr::test::ProcessResult Ydr(std::vector<std::string> args, const std::string &input = "") {
  args.insert(args.begin(), YDR_TOOL);
  return RunProcess(args, {}, input);
}

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
// OUT is replaced only when it is a new name or a regular file (keeping its mode); a link
// stays a link with its target written, and a pipe is written into, never replaced.
TEST(ToolGzTest, OutputKeepsLinksPipesAndModes) {
  ydr::test::TempDir dir;
  const std::string data(100000, 'q');
  const std::string in = dir.WriteFile("in", data);
  const std::string packed = Ydr({"gz"}, data).out;

  const std::string kept = dir.WriteFile("in.ydgz", "old");
  ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
  EXPECT_EQ(Ydr({"gz", "-f", in}).exit_status, 0);
  struct stat info;
  ASSERT_EQ(stat(kept.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(kept), packed);

  const std::string other = dir.WriteFile("other", data);
  const std::string target = dir.WriteFile("target", "old");
  fs::create_symlink(target, other + ".ydgz");
  EXPECT_EQ(Ydr({"gz", "-f", other}).exit_status, 0);
  EXPECT_TRUE(fs::is_symlink(other + ".ydgz"));
  EXPECT_EQ(ReadFile(target), packed);

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

}  // namespace
