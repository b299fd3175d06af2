// Runs a program to completion and collects what it printed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ydr::test {

struct ProcessResult {
  int exit_status = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// How long a child program may run before it is killed and its test fails: far beyond any
// test's need, even under an emulator, and well inside CTest's own limit.
inline constexpr int kProcessDeadlineSeconds = 120;

// argv[0] is the program's path. A program built for a machine that runs only under an
// emulator (the 32-bit build's programs here) is started through the build's emulator, as
// CTest starts the test programs themselves. A program that cannot be started, or that runs
// past kProcessDeadlineSeconds (it is then killed, with everything it started), fails the
// calling test with the reason. env entries are "NAME=value" added to (or replacing in)
// the test's own environment; a name alone ("NAME") removes it.
// `cwd`, when given, is the program's current folder.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                         const std::string &input = "", const std::string &cwd = "");

#if !defined(_WIN32)
// `program` as the words that start it from a shell command line, each quoted: preceded by
// the emulator's words where RunProcess would start it through the emulator.
std::string ShellWords(const std::string &program);

// RunProcess for a program whose memory (its address space, RLIMIT_AS) is limited to
// `address_space` bytes, with an empty standard input: for tests that a program stops
// early, with a message, instead of dying when memory runs out.
ProcessResult RunProcessWithMemoryLimit(const std::vector<std::string> &argv, std::uint64_t address_space);
#endif

// Whether RunInTerminal can run programs here: Windows has no pseudo-terminal to give one.
bool TerminalsAvailable();

// Runs a program with standard input, output and error on a new pseudo-terminal, so that it
// sees a terminal; what it wrote there (output and error together) comes back in `out`. When
// `prompt` shows, `answer` is typed.
ProcessResult RunInTerminal(const std::vector<std::string> &argv, const std::string &prompt = "",
                            const std::string &answer = "");

#if !defined(_WIN32)
// How a program that a test interrupted ended.
struct InterruptedRun {
  bool ready = false;    // the awaited state came before the program ended
  int exit_status = -1;  // when it exited normally
  int signal = 0;        // the signal that ended it, 0 when it exited
  std::string out;       // standard output (the terminal's text, for TypeInTerminal)
  std::string err;       // standard error
  bool echoing = false;  // TypeInTerminal: whether the terminal echoes once the program has gone
};

// Starts a program in `cwd` with standard input a pipe that stays open and empty (a program
// reading it waits), polls `ready` until it holds (at most 30 s), sends `signal` and waits
// for the end. The program starts with every signal's default action.
InterruptedRun RunAndInterrupt(const std::vector<std::string> &argv, const std::function<bool()> &ready, int signal,
                               const std::string &cwd = "");

// Runs a program on a new pseudo-terminal; when `prompt` shows, types `keys` (which may be
// a control character the terminal turns into a signal, such as "\x03") and waits for the end.
InterruptedRun TypeInTerminal(const std::vector<std::string> &argv, const std::string &prompt, const std::string &keys);
#endif

}  // namespace ydr::test
