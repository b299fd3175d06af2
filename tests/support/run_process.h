// Runs a program to completion and collects what it printed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ydr::test {

struct ProcessResult {
  int exit_status = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// argv[0] is the program's path. env entries are "NAME=value" added to (or replacing in)
// the test's own environment; a name alone ("NAME") removes it.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                         const std::string &input = "");

}  // namespace ydr::test
