// Runs the command under test, YDR_TOOL (the build defines it for each program including this).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_process.h"

namespace ydr::test {

// `input` on its standard input; in `cwd` when given.
inline ProcessResult Ydr(std::vector<std::string> args, const std::string &input = "", const std::string &cwd = "") {
  args.insert(args.begin(), YDR_TOOL);
  return RunProcess(args, {}, input, cwd);
}

// `command` split at its spaces: the arguments of a table's command on files in one folder.
inline std::vector<std::string> Words(const std::string &command) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// One command line and what its run gives.
struct CommandCase {
  std::string command;  // its words, split at blanks
  int status;
  std::string out = "";      // all of standard output
  std::string message = "";  // in standard error, which starts "ydr: " when not empty
  std::string input = "";
};

// Runs `c` in `cwd`; standard error is empty exactly when the case expects neither a message
// nor a failure.
inline void ExpectCommand(const CommandCase &c, const std::string &cwd = "") {
  SCOPED_TRACE(c.command);
  const ProcessResult result = Ydr(Words(c.command), c.input, cwd);
  EXPECT_EQ(result.exit_status, c.status) << result.err;
  EXPECT_TRUE(result.out == c.out) << result.out.size() << " bytes: " << result.out.substr(0, 200);
  EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  EXPECT_EQ(result.err.empty(), c.status == 0 && c.message.empty()) << result.err;
  EXPECT_TRUE(result.err.empty() || result.err.rfind("ydr: ", 0) == 0) << result.err;
}

// How many times `what` occurs in `text`.
inline std::size_t Count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Every path below `root`, relative, with '/', sorted; links listed, never followed. None
// when `root` does not exist.
inline std::vector<std::string> PathsBelow(const std::string &root) {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  const fs::path top = fs::u8path(root);
  if (!fs::exists(top)) return out;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
    out.push_back(it->path().lexically_relative(top).generic_u8string());  // never through a link
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ydr::test
