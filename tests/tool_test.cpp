// The ydr command as a user runs it: the command table, option forms, usage errors, help in
// every form and list labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

using ydr::test::RunProcess;
using ydr::test::Ydr;

const std::vector<std::string> kCommands = {"pack", "unpack", "list", "test",   "gz",  "sha1",
                                            "seed", "rsa",    "ven",  "numstr", "send"};

TEST(ToolTest, HelpAgreesEverywhere) {
  const auto overview = Ydr({"help"});
  EXPECT_EQ(overview.exit_status, 0);
  for (const std::string &command : kCommands) {
    SCOPED_TRACE(command);
    EXPECT_NE(overview.out.find("  " + command + " "), std::string::npos);
    const auto help = Ydr({"help", command});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.out.rfind("usage: ydr " + command, 0), 0u) << help.out;
    EXPECT_EQ(Ydr({command, "--help"}).out, help.out);
    // The manual page and the completion come from the same table.
    EXPECT_NE(Ydr({"help", "--man"}).out.find(".SS " + command), std::string::npos);
    EXPECT_NE(Ydr({"help", "--bash-completion"}).out.find("    " + command + ")\n      options="), std::string::npos);
  }
  EXPECT_EQ(Ydr({"--version"}).out.rfind("ydr ", 0), 0u);
  EXPECT_EQ(Ydr({}).exit_status, 2);
  EXPECT_EQ(Ydr({"help", "frobnicate"}).exit_status, 2);
}

#if !defined(_WIN32)
// The manual page's examples, as the page prints them, run in a shell from a folder with the
// files they name; each succeeds, and the last prints what the page says.
TEST(ToolTest, ManualPageExamplesRunAsWritten) {
  const std::string page = Ydr({"help", "--man"}).out;
  const std::size_t section = page.find(".SH EXAMPLES\n");
  ASSERT_NE(section, std::string::npos);
  const std::string start = ".TP\n\\fB";  // each example: the command in bold, then what it does
  std::vector<std::string> commands;
  for (std::size_t at = page.find(start, section); at < page.find(".SH SEE ALSO"); at = page.find(start, at + 1)) {
    std::string line = page.substr(at + start.size(), page.find("\\fR\n", at) - at - start.size());
    for (const auto &[escaped, plain] : {std::pair<std::string, std::string>{"\\-", "-"}, {"\\e", "\\"}}) {
      for (std::size_t i = line.find(escaped); i != std::string::npos; i = line.find(escaped, i + 1)) {
        line.replace(i, escaped.size(), plain);
      }
    }
    commands.push_back(line);
  }
  ASSERT_GE(commands.size(), 5u);
  ydr::test::TempDir dir;
  dir.WriteFile("docs/a.txt", "alpha");
  dir.WriteFile("docs/sub/b.txt", "beta");
  dir.WriteFile("docs/c.bin", "gamma");
  dir.WriteFile("report.txt", "a report\n");
  dir.WriteFile("pw", "pass word\n");
  dir.WriteFile("bin/ydr", "#!/bin/sh\nexec " + ydr::test::ShellWords(YDR_TOOL) + " \"$@\"\n");
  std::filesystem::permissions(dir / "bin/ydr", std::filesystem::perms::owner_all);
  ydr::test::ProcessResult result;
  for (const std::string &command : commands) {
    SCOPED_TRACE(command);
    result = RunProcess({"/bin/sh", "-c", command}, {"PATH=" + (dir / "bin") + ":/usr/bin:/bin"}, "", dir.path());
    EXPECT_EQ(result.exit_status, 0) << result.err;
  }
  EXPECT_EQ(result.out, "(ab)\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "out/docs/sub/b.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/docs/c.bin"));
}

// Bash completes the values of the options that take a fixed set, in both spellings, the
// first operand's words (numstr's styles among them), and files after that.
TEST(ToolTest, BashCompletesOptionValuesAndOperandWords) {
  ydr::test::TempDir dir;
  const std::string script = dir.WriteFile("ydr.bash", Ydr({"help", "--bash-completion"}).out);
  dir.MakeDir("work");
  struct Case {
    const char *words;  // the command line up to the word being completed, which comes last
    const char *reply;
  };
  const Case cases[] = {
      {"ydr se", "seed send"},
      {"ydr seed --mo", "--mode"},
      {"ydr seed --mode ", "ecb cbc ofb cfb"},
      {"ydr seed --mode c", "cbc cfb"},
      {"ydr seed --mode = o", "ofb"},  // --mode=o: bash splits at '='
      {"ydr seed --pad ", "pkcs none"},
      {"ydr seed -K 00 ", "enc dec"},
      {"ydr seed enc ", ""},  // files: the folder is empty
      {"ydr ven --kind ", "1 2 3 4 lvo"},
      {"ydr ven --kind 4 ", "enc dec lvz"},
      {"ydr ven l", "lvz"},
      {"ydr gz --level ", "0 1 2"},
      {"ydr numstr roman", "roman-upper roman-lower"},
      {"ydr numstr --open ( korean-s", "korean-syllable"},
      {"ydr numstr circled-k", "circled-korean-syllable circled-korean-consonant"},
      {"ydr numstr roman-upper ", ""},
  };
  // As bash calls it: the words so far (an empty one last after a blank), the index of the
  // last; the script is $0, the line $1.
  const std::string complete =
      "source \"$0\"; read -r -a COMP_WORDS <<< \"$1\"; [[ $1 == *' ' ]] && COMP_WORDS+=(''); "
      "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ydr; echo \"${COMPREPLY[*]}\"";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words);
    const auto result = RunProcess({"bash", "-c", complete, script, c.words}, {}, "", dir / "work");
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, std::string(c.reply) + "\n");
  }
}
#endif

TEST(ToolTest, OptionFormsAreTheUsualOnes) {
  struct Case {
    std::vector<std::string> args;
    const char *out;
  };
  const Case cases[] = {
      {{"numstr", "--open=(", "--close", ")", "4", "27"}, "(AA)\n"},  // --opt=value and --opt value
      {{"numstr", "4", "27", "--single"}, "A\n"},                     // options after operands
      {{"numstr", "--", "0", "-5"}, "-5\n"},                          // -- ends the options
      {{"numstr", "0", "-5"}, "-5\n"},                                // a negative number is an operand
  };
  for (const Case &c : cases) {
    const auto result = Ydr(c.args);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
  // Bundled short flags: -dc is -d -c.
  const std::string packed = Ydr({"gz"}, "bundled flags").out;
  EXPECT_EQ(Ydr({"gz", "-dc"}, packed).out, "bundled flags");
}

TEST(ToolTest, BadUsageExitsWithTwoAndNeverBecomesAFile) {
  ydr::test::TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate"},
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
      {"numstr", "--single=x", "4", "1"},
      {"numstr", "--table", "extra"},
      {"pack", "-r", dir / "x.ydz", dir.path()},
      {"gz", "-x"},
      {"gz", "--level", "3"},
      {"sha1", "--quiet"},
      {"send", "127.0.0.1", "0"},
      {"send", "--timeout", "-1", "127.0.0.1", "80", "x"},
  };
  for (const auto &args : cases) {
    SCOPED_TRACE(args.back());
    const auto result = Ydr(args);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x.ydz"));
  EXPECT_FALSE(std::filesystem::exists("-r"));
}

TEST(ToolTest, NumstrPrintsTheGrowingFormByDefault) {
  struct Case {
    std::vector<std::string> args;
    const char *out;
  };
  const Case cases[] = {
      {{"numstr", "roman-upper", "1999"}, "MCMXCIX\n"},
      {{"numstr", "--single", "roman-upper", "1999"}, "I\n"},  // the cycling form starts again
      {{"numstr", "4", "27"}, "AA\n"},
      {{"numstr", "--single", "4", "27"}, "A\n"},
      {{"numstr", "3", "888"}, "dccclxxxviii\n"},
      {{"numstr", "korean-words", "123456789"}, "억이천삼백사십오만육천칠백팔십구\n"},
      {{"numstr", "repeat", "7", "--symbol", "-"}, "--\n"},
      {{"numstr", "circled", "123", "--open", "「", "--close", "」"}, "「①②③」\n"},
      {{"numstr", "17", "42"}, "42\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args.back());
    const auto result = Ydr(c.args);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_EQ(Ydr({"numstr", "3", "100000"}).out, std::string(100, 'm') + "\n");
  const auto table = Ydr({"numstr", "--table"});
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 38);  // 19 styles, both forms
  EXPECT_NE(table.out.find("* † ‡ § ** †† ‡‡ §§"), std::string::npos);
}

// Every style but decimal labels the numbers from 1: below that the library has no numeral,
// and the command says so rather than print an empty label. Every style shows the largest
// number, in both forms.
TEST(ToolTest, NumstrRefusesNumbersAStyleCannotShow) {
  const std::vector<std::string> styles = {"circled",
                                           "roman-upper",
                                           "roman-lower",
                                           "latin-upper",
                                           "latin-lower",
                                           "circled-latin-upper",
                                           "circled-latin-lower",
                                           "korean-syllable",
                                           "circled-korean-syllable",
                                           "korean-consonant",
                                           "circled-korean-consonant",
                                           "korean-words",
                                           "hanja-words",
                                           "circled-ideograph",
                                           "stem-korean",
                                           "stem-hanja",
                                           "footnote",
                                           "repeat",
                                           "17",
                                           "4000000000"};
  for (const std::string &style : styles) {
    for (const char *number : {"0", "-1", "-2147483648"}) {
      SCOPED_TRACE(style + " " + number);
      const auto refused = Ydr({"numstr", "--symbol", "*", "--open", "(", "--close", ")", style, number});
      EXPECT_EQ(refused.exit_status, 1);
      EXPECT_EQ(refused.out, "");
      EXPECT_NE(refused.err.find("no label for " + std::string(number)), std::string::npos) << refused.err;
    }
    for (const char *form : {"--single", "--extended"}) {
      SCOPED_TRACE(style + " " + form);
      const auto largest = Ydr({"numstr", form, "--symbol", "*", style, "2147483647"});
      EXPECT_EQ(largest.exit_status, 0) << largest.err;
      EXPECT_GT(largest.out.size(), 1u);
      EXPECT_EQ(largest.out.back(), '\n');
    }
  }
  struct Case {
    std::vector<std::string> args;
    int status;
    const char *out;
  };
  const Case cases[] = {
      {{"numstr", "decimal", "0"}, 0, "0\n"},
      {{"numstr", "decimal", "-5"}, 0, "-5\n"},
      {{"numstr", "0", "-2147483648"}, 0, "-2147483648\n"},
      {{"numstr", "repeat", "3"}, 2, ""},  // nothing to repeat
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    const auto result = Ydr(c.args);
    EXPECT_EQ(result.exit_status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
}

#if !defined(_WIN32)  // a shell that closes the program's standard output first
TEST(ToolTest, FailedOutputExitsWithOne) {
  const auto result =
      RunProcess({"/bin/sh", "-c", "exec >&-; exec " + ydr::test::ShellWords(YDR_TOOL) + " numstr 4 1"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << result.err;
}
#endif

}  // namespace
