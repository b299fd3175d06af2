// Runs a program to completion and collects what it printed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ydr::test {

struct ProcessResult {
  int exit_status = -1;  // -1 when it did not exit normally
  int signal = 0;        // the signal that ended it; 0 when it exited
  bool ready = false;    // the prompt showed, or the awaited state came, before it ended
  bool echoing = false;  // on a terminal: whether the terminal echoes once it has gone
  std::string out;       // standard output (on a terminal: output and error together)
  std::string err;
};

// How long a child may run before it is killed (with all it started) and its test fails: far
// beyond any test's need, even under an emulator, and inside CTest's own limit.
inline constexpr int kProcessDeadlineSeconds = 120;

// argv[0] is the program's path or a name found on PATH; one built only for the build's
// emulator (the 32-bit build's) is started through it, as CTest starts the test programs. A
// program that cannot be started fails the calling test. env entries are "NAME=value" added to
// or replacing the test's own; a name alone removes it. `cwd`, when given, is its folder.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                         const std::string &input = "", const std::string &cwd = "");

// The runners' part of that: `own` with `env` applied, names compared by `compare` (which
// ignores case on Windows).
inline std::vector<std::string> MergedEnvironment(std::vector<std::string> own, const std::vector<std::string> &env,
                                                  int (*compare)(const char *, const char *, std::size_t)) {
  for (const std::string &entry : env) {
    const std::string name = entry.substr(0, entry.find('=')) + "=";
    const auto named = [&](const std::string &e) { return compare(e.c_str(), name.c_str(), name.size()) == 0; };
    own.erase(std::remove_if(own.begin(), own.end(), named), own.end());
    if (entry.size() >= name.size()) own.push_back(entry);
  }
  return own;
}

#if !defined(_WIN32)
// `program` as the words that start it from a shell command line, each quoted: preceded by
// the emulator's words where RunProcess would start it through the emulator.
std::string ShellWords(const std::string &program);

// How RunWith starts a child besides its arguments: in `cwd` when given; on a new pseudo-terminal
// (standard input, output and error), `keys` typed once `prompt` shows ("\x03" becomes a
// signal); or, with `ready` set, standard input an open and empty pipe and `signal` sent once
// `ready` holds.
struct RunPlan {
  std::string cwd;
  bool terminal = false;
  std::string prompt = "", keys = "";
  std::function<bool()> ready = nullptr;
  int signal = 0;
};
ProcessResult RunWith(const std::vector<std::string> &argv, const RunPlan &plan);
#endif

}  // namespace ydr::test
