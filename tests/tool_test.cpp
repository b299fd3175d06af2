// The ydr command as a user runs it: output, exit status and messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_process.h"

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
