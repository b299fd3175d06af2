#include "tests/support/run_process.h"

#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

extern char **environ;

namespace ydr::test {

namespace {

// A child may exit before it has read all of its input. Writing to its pipe then fails with
// EPIPE, which must not kill the test: the signal is ignored for the whole test process
// (nothing in a test relies on SIGPIPE's default action).
void IgnoreBrokenPipes() {
  static const bool done = [] {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
    return true;
  }();
  (void)done;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string> &env) {
  std::map<std::string, std::string> merged;
  for (char **e = environ; *e != nullptr; ++e) {
    const char *eq = std::strchr(*e, '=');
    if (eq != nullptr) merged[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
  }
  for (const std::string &entry : env) {
    const auto eq = entry.find('=');
    if (eq == std::string::npos) {
      merged.erase(entry);
    } else {
      merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
  }
  std::vector<std::string> strings;
  strings.reserve(merged.size());
  for (const auto &[name, value] : merged) strings.push_back(std::string(name).append("=").append(value));
  return strings;
}

// The emulator that runs this build's programs (the 32-bit build's, on a machine that runs
// only 64-bit code natively), as words; none for a native build. The kernel could be taught
// to start such programs through it by itself, but that is a machine setting no test may
// count on, so every child program is given to the emulator explicitly.
std::vector<std::string> EmulatorWords() {
  std::vector<std::string> words;
#if defined(YDR_TEST_EMULATOR)
  std::istringstream in(YDR_TEST_EMULATOR);
  for (std::string word; in >> word;) words.push_back(word);
#endif
  return words;
}

// The ELF machine of a program file; 0 when it is not an ELF program (a script, a missing
// file).
unsigned ElfMachine(const std::string &path) {
  unsigned char header[EI_NIDENT + 4] = {};
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  const std::size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (got != sizeof header || std::memcmp(header, ELFMAG, SELFMAG) != 0) return 0;
  // e_machine follows e_type, both 16-bit in the file's own byte order.
  const unsigned char *machine = header + EI_NIDENT + 2;
  return header[EI_DATA] == ELFDATA2MSB ? (machine[0] << 8 | machine[1]) : (machine[1] << 8 | machine[0]);
}

// Whether `program` needs the emulator: it is built for the machine this test program is
// built for (an emulator reports the emulated program as /proc/self/exe), while the system's
// own programs, such as the shell, run natively.
bool NeedsEmulator(const std::string &program) {
  static const std::vector<std::string> emulator = EmulatorWords();
  if (emulator.empty()) return false;
  static const unsigned own_machine = ElfMachine("/proc/self/exe");
  return own_machine != 0 && ElfMachine(program) == own_machine;
}

std::vector<std::string> WithEmulator(const std::vector<std::string> &argv) {
  if (argv.empty() || !NeedsEmulator(argv[0])) return argv;
  std::vector<std::string> words = EmulatorWords();
  words.insert(words.end(), argv.begin(), argv.end());
  return words;
}

// The emulator's program as a path: posix_spawn and execve take no search path.
std::string ResolvedProgram(const std::string &name) {
  if (name.find('/') != std::string::npos) return name;
  const char *path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;  // the current folder: never a place to take a program from
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

std::string Describe(const std::vector<std::string> &argv) {
  std::string text;
  for (const std::string &a : argv) text += (text.empty() ? "" : " ") + a;
  return text;
}

// The argument and environment arrays a new program takes, and the strings they point into.
struct ExecStrings {
  ExecStrings(const std::vector<std::string> &argv, const std::vector<std::string> &env)
      : env_strings(MergedEnvironment(env)), arg_strings(WithEmulator(argv)) {
    if (!arg_strings.empty()) arg_strings[0] = ResolvedProgram(arg_strings[0]);
    for (auto &s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (auto &s : arg_strings) args.push_back(s.data());
    args.push_back(nullptr);
  }
  std::vector<std::string> env_strings, arg_strings;
  std::vector<char *> envp, args;
};

// One word for the shell, whatever it holds.
std::string ShellQuoted(const std::string &word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, for poll: never negative.
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The child's status as waitpid gives it, waiting for it until `deadline`; a child still
// running then is killed with everything it started (it leads a process group of its own),
// and `late` set.
int WaitStatusUntil(pid_t pid, Clock::time_point deadline, bool *late) {
  const auto kill_all = [pid] {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
  };
  if (*late) kill_all();
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, *late ? 0 : WNOHANG);
    if (done == pid) return status;
    if (done < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (MillisecondsLeft(deadline) > 0) {
      usleep(1000);  // its streams are closed: it is exiting, or soon past its deadline
    } else {
      *late = true;
      kill_all();
    }
  }
}

// The child's exit status (-1 when it did not exit normally), as WaitStatusUntil waits.
int WaitUntil(pid_t pid, Clock::time_point deadline, bool *late) {
  const int status = WaitStatusUntil(pid, deadline, late);
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ReportLate(const std::vector<std::string> &argv) {
  ADD_FAILURE() << Describe(argv) << " ran past its deadline of " << kProcessDeadlineSeconds << " s and was killed";
}

// A started child: its process id and this side of the pipes on its standard streams.
struct Child {
  pid_t pid = -1;
  int in = -1, out = -1, err = -1;
};

// Starts a program on pipes for its standard streams (`output_flags`, O_NONBLOCK say, for
// this side of its output and error), in `cwd` when given, in a process group of its own (so
// that a child past its deadline is killed with all it started), with every signal at its
// default action and none blocked (the test's own runner may have started it with SIGINT
// ignored, as for a background job). False after failing the test with the reason.
bool Start(const ExecStrings &exec, const std::string &cwd, int output_flags, Child *child) {
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC | output_flags) != 0 ||
      pipe2(err_pipe, O_CLOEXEC | output_flags) != 0) {
    const int error = errno;
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      if (fd >= 0) close(fd);
    }
    ADD_FAILURE() << "cannot make pipes for " << Describe(exec.arg_strings) << ": " << std::strerror(error);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  const int spawned = posix_spawn(&child->pid, exec.args[0], &actions, &attributes, exec.args.data(), exec.envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) close(fd);
    ADD_FAILURE() << "cannot start " << Describe(exec.arg_strings) << ": " << std::strerror(spawned);
    return false;
  }
  child->in = in_pipe[1];
  child->out = out_pipe[0];
  child->err = err_pipe[0];
  return true;
}

// Reads what a program writes to its terminal (`master`) into `out` until it has gone,
// typing `answer` once when `prompt` shows (`answered` says whether it has). False when the
// deadline came first.
bool ReadTerminal(int master, Clock::time_point deadline, const std::string &prompt, const std::string &answer,
                  std::string *out, bool *answered) {
  char buffer[4096];
  for (;;) {
    pollfd readable = {master, POLLIN, 0};
    const int polled = poll(&readable, 1, MillisecondsLeft(deadline));
    if (polled == 0) return false;
    if (polled < 0 && errno == EINTR) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) {
      out->append(buffer, static_cast<std::size_t>(got));
      if (!*answered && out->find(prompt) != std::string::npos) {
        *answered = true;
        static_cast<void>(write(master, answer.data(), answer.size()));
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return true;  // EIO once the program has gone and the terminal has no other user
    }
  }
}

}  // namespace

std::string ShellWords(const std::string &program) {
  std::string words;
  for (const std::string &word : WithEmulator({program})) words += (words.empty() ? "" : " ") + ShellQuoted(word);
  return words;
}

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &input, const std::string &cwd) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, env);

  ProcessResult result;
  Child child;
  if (!Start(exec, cwd, 0, &child)) return result;
  const pid_t pid = child.pid;

  // Input is fed as the child takes it, while its output is drained, so neither side can
  // block the other; a child that stops reading early simply gets no more.
  int in_fd = child.in;
  std::size_t fed = 0;
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  } else {
    fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  }
  pollfd fds[3] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}, {in_fd, POLLOUT, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  const auto deadline = Clock::now() + std::chrono::seconds(kProcessDeadlineSeconds);
  bool late = false;
  while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
    const int ready = poll(fds, 3, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    if (ready == 0) {
      late = true;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t put = write(fds[2].fd, input.data() + fed, input.size() - fed);
      if (put > 0) fed += static_cast<std::size_t>(put);
      if (fed == input.size() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  for (const pollfd &p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  result.exit_status = WaitUntil(pid, deadline, &late);
  if (late) ReportLate(exec.arg_strings);
  return result;
}

ProcessResult RunProcessWithMemoryLimit(const std::vector<std::string> &argv, std::uint64_t address_space) {
  // The shell sets the limit for itself and then becomes the program, which inherits it.
  std::string command = "ulimit -v " + std::to_string(address_space / 1024) + " && exec";
  for (std::size_t i = 0; i < argv.size(); ++i) {
    command += " " + (i == 0 ? ShellWords(argv[0]) : ShellQuoted(argv[i]));
  }
  return RunProcess({"/bin/sh", "-c", command});
}

bool TerminalsAvailable() { return true; }

namespace {

void RecordEnd(int status, InterruptedRun *run) {
  if (WIFEXITED(status)) run->exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run->signal = WTERMSIG(status);
}

// Reads whatever `fd` holds now into `sink`; false once it is at its end.
bool Drain(int fd, std::string *sink) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      sink->append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    return got < 0 && (errno == EAGAIN || errno == EINTR);
  }
}

// Runs a program on a new pseudo-terminal, with every signal at its default action and none
// blocked; when `prompt` shows (at once when it is empty), types `keys`. What the program
// writes there goes to `run->out`; `run->ready` says whether the keys were typed, and
// `run->echoing` whether the terminal echoes once the program has gone. Returns the wait
// status, or -1 after failing the test with the reason the program could not start.
int OnTerminal(const std::vector<std::string> &argv, const std::string &prompt, const std::string &keys,
               InterruptedRun *run) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, {});
  // The child reports a failed exec through this pipe, which a successful one closes.
  int exec_error[2];
  if (pipe2(exec_error, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot make a pipe for " << Describe(exec.arg_strings) << ": " << std::strerror(errno);
    return -1;
  }
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    const int error = errno;
    close(exec_error[0]);
    close(exec_error[1]);
    ADD_FAILURE() << "cannot make a terminal for " << Describe(exec.arg_strings) << ": " << std::strerror(error);
    return -1;
  }
  if (pid == 0) {
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(exec.args[0], exec.args.data(), exec.envp.data());
    const int error = errno;
    static_cast<void>(write(exec_error[1], &error, sizeof error));
    _exit(127);
  }
  close(exec_error[1]);
  int error = 0;
  const bool exec_failed = read(exec_error[0], &error, sizeof error) == static_cast<ssize_t>(sizeof error);
  close(exec_error[0]);
  bool late = false;
  if (exec_failed) {
    close(master);
    WaitStatusUntil(pid, Clock::now(), &late);
    ADD_FAILURE() << "cannot start " << Describe(exec.arg_strings) << ": " << std::strerror(error);
    return -1;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(kProcessDeadlineSeconds);
  run->ready = prompt.empty();
  late = !ReadTerminal(master, deadline, prompt, keys, &run->out, &run->ready);
  const int status = WaitStatusUntil(pid, deadline, &late);
  if (late) ReportLate(exec.arg_strings);
  // The terminal's settings outlive the program while this side stays open.
  termios settings{};
  run->echoing = tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  close(master);
  return status;
}

}  // namespace

InterruptedRun RunAndInterrupt(const std::vector<std::string> &argv, const std::function<bool()> &ready, int signal,
                               const std::string &cwd) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, {});
  InterruptedRun run;
  Child child;
  if (!Start(exec, cwd, O_NONBLOCK, &child)) return run;
  const pid_t pid = child.pid;
  int status = 0;
  bool ended = false;
  for (int waited = 0; waited < 30000 && !ended; ++waited) {
    Drain(child.out, &run.out);
    Drain(child.err, &run.err);
    if (ready()) {
      run.ready = true;
      break;
    }
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) usleep(1000);
  }
  if (!ended) {
    kill(pid, run.ready ? signal : SIGKILL);
    bool late = false;
    status = WaitStatusUntil(pid, Clock::now() + std::chrono::seconds(kProcessDeadlineSeconds), &late);
    if (late) ReportLate(exec.arg_strings);
  }
  close(child.in);
  for (int fd : {child.out, child.err}) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Drain(fd, fd == child.out ? &run.out : &run.err);
    close(fd);
  }
  RecordEnd(status, &run);
  return run;
}

ProcessResult RunInTerminal(const std::vector<std::string> &argv, const std::string &prompt,
                            const std::string &answer) {
  InterruptedRun run;
  const int status = OnTerminal(argv, prompt, answer, &run);
  ProcessResult result;
  result.out = run.out;
  result.exit_status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

InterruptedRun TypeInTerminal(const std::vector<std::string> &argv, const std::string &prompt,
                              const std::string &keys) {
  InterruptedRun run;
  const int status = OnTerminal(argv, prompt, keys, &run);
  if (status != -1) RecordEnd(status, &run);
  return run;
}

}  // namespace ydr::test
