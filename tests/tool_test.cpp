// The ydr command as a user runs it: output, exit status and messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

using ydr::test::RunProcess;

struct Case {
  std::vector<std::string> args;
  int status;
  const char *out;  // exact standard output; null: not checked
};

TEST(ToolTest, NumstrPrintsLabels) {
  const Case cases[] = {
      {{"numstr", "4", "27"}, 0, "A\n"},
      {{"numstr", "latin-upper", "27", "--extended"}, 0, "AA\n"},
      {{"numstr", "3", "888"}, 0, "dccclxxxviii\n"},
      {{"numstr", "roman-upper", "2500", "--extended"}, 0, "MMD\n"},
      {{"numstr", "korean-words", "123456789", "--extended"}, 0, "억이천삼백사십오만육천칠백팔십구\n"},
      {{"numstr", "0", "-5"}, 0, "-5\n"},
      {{"numstr", "4", "0", "--open", "(", "--close", ")"}, 0, "()\n"},
      {{"numstr", "repeat", "7", "--symbol", "-"}, 0, "--\n"},
      {{"numstr", "circled", "123", "--extended", "--open", "「", "--close", "」"}, 0, "「①②③」\n"},
      {{"numstr", "17", "42"}, 0, "42\n"},
      {{"--version"}, 0, nullptr},
      {{"help"}, 0, nullptr},
      {{"help", "numstr"}, 0, nullptr},
  };
  for (const Case &c : cases) {
    std::vector<std::string> argv = {YDR_TOOL};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(argv.back());
    const auto result = RunProcess(argv);
    EXPECT_EQ(result.exit_status, c.status);
    if (c.out != nullptr) {
      EXPECT_EQ(result.out, c.out);
    }
    EXPECT_EQ(result.err, "");
  }
}

TEST(ToolTest, ExtendedRomanThousandsOfAnyCount) {
  const auto result = RunProcess({YDR_TOOL, "numstr", "3", "100000", "--extended"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, std::string(100, 'm') + "\n");
}

TEST(ToolTest, BadUsageExitsWithTwoAndSaysWhy) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"help", "frobnicate"},
      {"numstr"},
      {"numstr", "4"},
      {"numstr", "no-such-style", "1"},
      {"numstr", "4", "x"},
      {"numstr", "4", "99999999999"},
      {"numstr", "4", "1", "2"},
      {"numstr", "4", "1", "--open"},
      {"numstr", "4", "1", "--open", "ab"},
      {"numstr", "4", "1", "--open", "\xF0\x9F\x98\x80"},  // outside one UTF-16 unit
      {"numstr", "4", "1", "--bogus"},
      {"numstr", "--table", "extra"},
  };
  for (const auto &args : cases) {
    std::vector<std::string> argv = {YDR_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    SCOPED_TRACE(args.empty() ? "(none)" : args.back());
    const auto result = RunProcess(argv);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.rfind("ydr: ", 0) == 0 || result.err.rfind("usage: ", 0) == 0) << result.err;
  }
}

TEST(ToolTest, TableShowsEveryStyleInBothForms) {
  const auto result = RunProcess({YDR_TOOL, "numstr", "--table"});
  EXPECT_EQ(result.exit_status, 0);
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(result.out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 38u);  // 19 styles, single and extended
  EXPECT_NE(lines[9].find("Z AA AB AC AD"), std::string::npos) << lines[9];
  EXPECT_NE(lines[34].find("* † ‡ § ** †† ‡‡ §§"), std::string::npos) << lines[34];
}

TEST(ToolTest, FailedOutputExitsWithOne) {
  const auto result = RunProcess({"/bin/sh", "-c", std::string(YDR_TOOL) + " numstr 4 1 > /dev/full"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << result.err;
}

}  // namespace

namespace {

TEST(ToolGzTest, CompressDecompressAndCheckFiles) {
  ydr::test::TempDir dir;
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "line " + std::to_string(i * 7 % 1000) + "\n";
  const std::string in = dir.WriteFile("in.txt", data);
  for (const char *level : {"0", "1", "2"}) {
    SCOPED_TRACE(level);
    const std::string packed = dir / (std::string("packed") + level);
    const std::string out = dir / (std::string("out") + level);
    EXPECT_EQ(RunProcess({YDR_TOOL, "gz", "--level", level, in, packed}).exit_status, 0);
    EXPECT_LT(ydr::test::ReadFile(packed).size(), data.size() / 3);
    EXPECT_EQ(RunProcess({YDR_TOOL, "gz", "-d", "--level", level, packed, out}).exit_status, 0);
    EXPECT_EQ(ydr::test::ReadFile(out), data);
    const auto check = RunProcess({YDR_TOOL, "gz", "-t", "--level", level, packed});
    EXPECT_EQ(check.exit_status, 0);
    EXPECT_NE(check.err.find("OK"), std::string::npos);
  }
  // Standard input and output.
  const auto packed = RunProcess({YDR_TOOL, "gz"}, {}, data);
  EXPECT_EQ(packed.exit_status, 0);
  const auto unpacked = RunProcess({YDR_TOOL, "gz", "-d", "-", "-"}, {}, packed.out);
  EXPECT_EQ(unpacked.exit_status, 0);
  EXPECT_EQ(unpacked.out, data);
}

TEST(ToolGzTest, BadStreamsFailAndLeaveNoOutputFile) {
  ydr::test::TempDir dir;
  const std::string packed = RunProcess({YDR_TOOL, "gz"}, {}, std::string(50000, 'x') + "tail").out;
  std::string mismatch = packed;
  mismatch[mismatch.size() - 5] ^= 1;  // the trailer's CRC
  struct Case {
    const char *name;
    std::string stream;
    const char *message;
  };
  const Case cases[] = {
      {"cut short", packed.substr(0, packed.size() / 2), "corrupt"},
      {"trailer mismatch", mismatch, "trailer"},
      {"not a stream", std::string(100, '\xff'), "corrupt"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir.WriteFile("bad", c.stream);
    const std::string out = dir / "bad.out";
    const auto result = RunProcess({YDR_TOOL, "gz", "-d", in, out});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(RunProcess({YDR_TOOL, "gz", "-t", in}).exit_status, 1);
  }
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
           {"gz", "--level"}, {"gz", "--level", "3"}, {"gz", "-x"}, {"gz", "a", "b", "c"}, {"gz", "-t"}}) {
    std::vector<std::string> argv = {YDR_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_EQ(RunProcess(argv).exit_status, 2);
  }
  EXPECT_EQ(RunProcess({YDR_TOOL, "gz", dir / "missing"}).exit_status, 1);
}

}  // namespace

namespace {

TEST(ToolZipTest, PackListTestUnpack) {
  ydr::test::TempDir dir;
  dir.WriteFile("tree/a.txt", "alpha");
  dir.WriteFile("tree/sub/한글 b.txt", "bravo");
  dir.WriteFile("tree/empty.txt", "");
  const std::string archive = dir / "t.ydz";
  const auto in_dir = [&](std::vector<std::string> args) {
    std::string command = "cd '" + dir.path() + "' && '" + std::string(YDR_TOOL) + "'";
    for (const std::string &a : args) command += " '" + a + "'";
    return RunProcess({"/bin/sh", "-c", command});
  };
  auto packed = in_dir({"pack", archive, "tree/"});
  EXPECT_EQ(packed.exit_status, 0) << packed.err;
  EXPECT_NE(packed.err.find("packed 5 members (3 files)"), std::string::npos) << packed.err;
  const auto listed = RunProcess({YDR_TOOL, "list", archive});
  EXPECT_EQ(listed.exit_status, 0);
  EXPECT_NE(listed.out.find("folder"), std::string::npos);
  EXPECT_NE(listed.out.find("tree/sub\\한글 b.txt"), std::string::npos) << listed.out;
  EXPECT_EQ(RunProcess({YDR_TOOL, "test", archive}).exit_status, 0);  // the empty file included
  const auto unpacked = RunProcess({YDR_TOOL, "unpack", archive, dir / "out", "--flat"});
  EXPECT_EQ(unpacked.exit_status, 0) << unpacked.err;
  EXPECT_EQ(ydr::test::ReadFile(dir / "out/한글 b.txt"), "bravo");
  // Patterns match the whole stored name ("tree/a.txt": a bare name matches in any folder
  // only for names stored with backslashes).
  const auto only = RunProcess({YDR_TOOL, "unpack", archive, dir / "only", "--flat", "--only", "*/a.txt"});
  EXPECT_EQ(only.exit_status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "only/a.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "only/empty.txt"));

  // A damaged member is named; a file that is not an archive is refused.
  std::string bytes = ydr::test::ReadFile(archive);
  bytes[bytes.size() - 20] ^= 0x55;
  dir.WriteFile("bad.ydz", bytes);
  const auto tested = RunProcess({YDR_TOOL, "test", dir / "bad.ydz"});
  EXPECT_EQ(tested.exit_status, 1);
  EXPECT_NE(tested.err.find("1 failed"), std::string::npos) << tested.err;
  dir.WriteFile("not.ydz", "hello");
  const auto refused = RunProcess({YDR_TOOL, "list", dir / "not.ydz"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("not an archive"), std::string::npos);
  EXPECT_EQ(RunProcess({YDR_TOOL, "pack", archive}).exit_status, 2);
  EXPECT_EQ(RunProcess({YDR_TOOL, "unpack"}).exit_status, 2);
  const auto missing = in_dir({"pack", dir / "m.ydz", "tree/a.txt", "nope.txt"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("nope.txt: cannot read the file (0x2000)"), std::string::npos) << missing.err;
}

}  // namespace
