// The ydr command as a user runs it: option forms, usage errors, help in every form, labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

using ydr::test::ReadFile;
using ydr::test::RunProcess;
using ydr::test::Ydr;

TEST(ToolTest, HelpAgreesEverywhere) {
  const auto overview = Ydr({"help"});
  EXPECT_EQ(overview.exit_status, 0);
  const std::string man = Ydr({"help", "--man"}).out;
  const std::string completion = Ydr({"help", "--bash-completion"}).out;
  for (const std::string command :
       {"pack", "unpack", "list", "test", "gz", "sha1", "seed", "rsa", "ven", "numstr", "send"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(overview.out.find("  " + command + " "), std::string::npos);
    const auto help = Ydr({"help", command});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.out.rfind("usage: ydr " + command, 0), 0u) << help.out;
    EXPECT_EQ(Ydr({command, "--help"}).out, help.out);
    // The manual page and the completion come from the same table.
    EXPECT_NE(man.find(".SS " + command), std::string::npos);
    EXPECT_NE(completion.find("    " + command + ")\n      options="), std::string::npos);
  }
  EXPECT_EQ(Ydr({"--version"}).out.rfind("ydr ", 0), 0u);
  EXPECT_EQ(Ydr({}).exit_status, 2);
  EXPECT_EQ(Ydr({"help", "frobnicate"}).exit_status, 2);
}

#if !defined(_WIN32)
// The manual page's examples, run as printed in a folder with their files, succeed.
TEST(ToolTest, ManualPageExamplesRunAsWritten) {
  const std::string page = Ydr({"help", "--man"}).out;
  const std::size_t section = page.find(".SH EXAMPLES\n");
  ASSERT_NE(section, std::string::npos);
  const std::string start = ".TP\n\\fB";  // each example: the command in bold, then what it does
  std::vector<std::string> commands;
  for (std::size_t at = page.find(start, section); at < page.find(".SH SEE ALSO"); at = page.find(start, at + 1)) {
    const std::string line = page.substr(at + start.size(), page.find("\\fR\n", at) - at - start.size());
    commands.push_back(
        std::regex_replace(std::regex_replace(line, std::regex(R"(\\-)"), "-"), std::regex(R"(\\e)"), "\\"));
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

// Bash completes option values in both spellings, the first operand's words, and files after.
TEST(ToolTest, BashCompletesOptionValuesAndOperandWords) {
  ydr::test::TempDir dir;
  const std::string script = dir.WriteFile("ydr.bash", Ydr({"help", "--bash-completion"}).out);
  dir.MakeDir("work");
  // The command line up to the word being completed, which comes last; the reply.
  const std::pair<const char *, const char *> cases[] = {
      {"ydr se", "seed send"},
      {"ydr seed --mo", "--mode"},
      {"ydr seed --mode c", "cbc cfb"},
      {"ydr seed --mode = o", "ofb"},  // --mode=o: bash splits at '='
      {"ydr seed -K 00 ", "enc dec"},
      {"ydr seed enc ", ""},  // files: the folder is empty
      {"ydr ven --kind 4 ", "enc dec lvz"},
      {"ydr numstr --open ( korean-s", "korean-syllable"},
      {"ydr numstr roman-upper ", ""},
  };
  // As bash calls it: the words so far (an empty one after a blank), the index of the last.
  const std::string complete =
      "source \"$0\"; read -r -a COMP_WORDS <<< \"$1\"; [[ $1 == *' ' ]] && COMP_WORDS+=(''); "
      "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ydr; echo \"${COMPREPLY[*]}\"";
  for (const auto &[words, reply] : cases) {
    SCOPED_TRACE(words);
    const auto result = RunProcess({"bash", "-c", complete, script, words}, {}, "", dir / "work");
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, std::string(reply) + "\n");
  }
}

// A shell that closes the program's standard output first: the failed write is an error.
TEST(ToolTest, FailedOutputExitsWithOne) {
  const auto result =
      RunProcess({"/bin/sh", "-c", "exec >&-; exec " + ydr::test::ShellWords(YDR_TOOL) + " numstr 4 1"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << result.err;
}
#endif

// Each command line's status and output; usage errors exit 2 and never become a file. Passwords
// within their bounds, never from the command line; a list line over its bound is no digest line,
// and the lines after it still count.
TEST(ToolTest, CommandLinesGiveTheirStatusAndOutput) {
  ydr::test::TempDir dir;
  const std::string good_line = "a9993e364706816aba3e25717850c26c9cd0d89d  abc\n";
  dir.WriteFile("in", "plaintext");
  dir.WriteFile("o1", "replaced");
  dir.WriteFile("abc", "abc");
  dir.WriteFile("p4096", std::string(4096, 'p') + "\r\n");
  dir.WriteFile("p4097", std::string(4097, 'p'));
  dir.WriteFile("list", std::string(100 << 10, 'f') + "\n" + good_line);
  dir.WriteFile("unended", good_line.substr(0, good_line.size() - 1));
  dir.WriteFile("short", "seven77");
  const std::vector<std::string> files = ydr::test::PathsBelow(dir.path());
  const ydr::test::CommandCase cases[] = {
      {"numstr --open=( --close ) 4 27", 0, "(AA)\n"},  // --opt=value and --opt value; the growing form
      {"numstr 4 27 --single", 0, "A\n"},               // options after operands
      {"numstr -- 0 -5", 0, "-5\n"},                    // -- ends the options
      {"numstr 0 -2147483648", 0, "-2147483648\n"},     // a negative number is an operand
      {"numstr repeat 7 --symbol -", 0, "--\n"},
      {"numstr circled 123 --open 「 --close 」", 0, "「①②③」\n"},
      // The longest label of the fixed buffer, and each Roman form's, which grows a letter a thousand.
      {"numstr --open ( --close ) korean-words 2147483647", 0, "(이십일억사천칠백사십팔만삼천육백사십칠)\n"},
      {"numstr roman-upper 2147483647", 0, std::string(2147483, 'M') + "DCXLVII\n"},
      {"numstr roman-lower 2147483647", 0, std::string(2147483, 'm') + "dcxlvii\n"},
      // Decimal alone labels numbers below 1; the others say so rather than print no label.
      {"numstr decimal 0", 0, "0\n"},
      {"numstr --open ( --close ) 4 0", 1, "", "no label for 0"},
      {"numstr repeat 3", 2, "", "repeats a symbol"},
      {"frobnicate", 2},
      {"numstr 4", 2},
      {"numstr 4 1 2", 2},
      {"numstr no-such-style 1", 2},
      {"numstr 4 x", 2},
      {"numstr 4 99999999999", 2},
      {"numstr 4 1 --open", 2},
      {"numstr 4 1 --open ab", 2},
      {"numstr 4 1 --open \xF0\x9F\x98\x80", 2},  // outside one UTF-16 unit
      {"numstr 4 1 --bogus", 2},
      {"numstr --single=x 4 1", 2},
      {"numstr --table extra", 2},
      {"gz -x", 2},
      {"gz --level 3", 2},
      {"sha1 --quiet", 2},
      {"send 127.0.0.1 0", 2},
      {"send --timeout -1 127.0.0.1 80 x", 2},
      {"gz -dc", 0, "bundled flags", "", Ydr({"gz"}, "bundled flags").out},  // -dc is -d -c
      {"ven enc --kind 1 --password-file p4096 in o1", 0},
      {"ven enc --kind 1 --password-file p4097 in o2", 1, "", "not a password"},
      {"ven enc --kind 1 --password-fd 99999999999 in o3", 1, "", "takes a descriptor number"},
      {"sha1 -c --warn list", 0, "abc: OK\n", "1 line is improperly formatted"},  // a 100 KiB line first
      {"sha1 -c unended", 0, "abc: OK\n"},
      {"ven enc --kind lvo --password-file short in o4", 1, "", "at least 8"},
      {"ven lvz --password-file abc", 0, "A9993E364706816ABA3E25717850C26C9CD0D89D\n"},
      {"ven lvz abc", 2, "", "never from the command line"},
  };
  for (const auto &c : cases) ydr::test::ExpectCommand(c, dir.path());
  EXPECT_EQ(ydr::test::PathsBelow(dir.path()), files);
  EXPECT_NE(ReadFile(dir / "o1"), "replaced");
  const auto table = Ydr({"numstr", "--table"});
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 38);  // 19 styles, both forms
  EXPECT_NE(table.out.find("* † ‡ § ** †† ‡‡ §§"), std::string::npos);
}

}  // namespace
