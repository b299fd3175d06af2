#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/run_process.h"

extern char **environ;

namespace ydr::test {
namespace {

// The ELF magic, class, byte order and machine of a program file ("" for a script, or none).
[[maybe_unused]] std::string ElfMachine(const std::string &path) {
  char header[20] = {};
  std::ifstream(path, std::ios::binary).read(header, sizeof header);
  if (std::string(header, 4) != "\177ELF") return "";
  return std::string(header, 6) + std::string(header + 18, 2);
}

// The emulator's words go before a program built for this test program's machine (which an
// emulator reports as /proc/self/exe), never left to the kernel's settings; the system's own
// programs, such as the shell, run natively.
std::vector<std::string> WithEmulator(const std::vector<std::string> &argv) {
  std::vector<std::string> words;
#if defined(YDR_TEST_EMULATOR)
  static const std::string own_machine = ElfMachine("/proc/self/exe");
  if (!argv.empty() && !own_machine.empty() && ElfMachine(argv[0]) == own_machine) {
    std::istringstream in(YDR_TEST_EMULATOR);
    for (std::string word; in >> word;) words.push_back(word);
  }
#endif
  words.insert(words.end(), argv.begin(), argv.end());
  return words;
}

// The words as a shell command line, each quoted, whatever it holds.
std::string Quoted(const std::vector<std::string> &words) {
  std::string line;
  for (const std::string &word : words) {
    line += line.empty() ? "'" : " '";
    for (const char c : word) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "'";
  }
  return line;
}

void CloseOpen(std::initializer_list<int> fds) {
  for (const int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The child runs in a process group (on a terminal, a session) of its own, so that one past its
// deadline is killed with all it started, its signals at their defaults (CTest may have started
// this test with SIGINT ignored); its input is fed as it takes it while its output is drained.
ProcessResult Run(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &input,
                  const RunPlan &plan) {
  // A child that exits before reading all its input makes the writes fail with EPIPE, which
  // must not kill the test: nothing in a test relies on SIGPIPE's default action.
  [[maybe_unused]] static const bool broken_pipes_ignored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  std::vector<std::string> own;
  for (char **e = environ; *e != nullptr; ++e) own.emplace_back(*e);
  std::vector<std::string> arg_strings = WithEmulator(argv), env_strings = MergedEnvironment(own, env, strncmp);
  std::vector<char *> args, envp;
  for (auto &s : arg_strings) args.push_back(s.data());
  for (auto &s : env_strings) envp.push_back(s.data());
  args.push_back(nullptr);
  envp.push_back(nullptr);

  ProcessResult result;
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  const bool made =
      plan.terminal
          ? (out[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) >= 0 && grantpt(out[0]) == 0 && unlockpt(out[0]) == 0
          : pipe2(in, O_CLOEXEC) == 0 && pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0;
  const int error = errno;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (plan.terminal && made) {
    // Opened after setsid, the terminal becomes the child's controlling terminal.
    posix_spawn_file_actions_addopen(&actions, 0, ptsname(out[0]), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_adddup2(&actions, 0, 2);
  } else if (made) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  }
  if (!plan.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, plan.cwd.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                            (plan.terminal ? POSIX_SPAWN_SETSID : POSIX_SPAWN_SETPGROUP));
  pid_t pid = -1;
  const int spawned = made ? posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data()) : error;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  CloseOpen({in[0], out[1], err[1]});
  if (spawned != 0) {
    CloseOpen({in[1], out[0], err[0]});
    ADD_FAILURE() << "cannot start " << Quoted(arg_strings) << ": " << std::strerror(spawned);
    return result;
  }

  // Standard input: `input`, fed as it is taken; for a run awaiting a state, open and empty.
  std::size_t fed = 0;
  const bool feeding = !plan.ready && in[1] >= 0;
  if (feeding) fcntl(in[1], F_SETFL, fcntl(in[1], F_GETFL) | O_NONBLOCK);
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {feeding ? in[1] : -1, POLLOUT, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  const auto deadline = Clock::now() + std::chrono::seconds(kProcessDeadlineSeconds);
  bool late = false;
  result.ready = !plan.ready && plan.prompt.empty();
  while (!late && (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0)) {
    const bool watching = !result.ready && plan.ready;
    const int polled = poll(fds, 3, watching ? 1 : MillisecondsLeft(deadline));
    if (polled < 0 && errno != EINTR) break;
    late = MillisecondsLeft(deadline) == 0;
    for (int i = 0; i < 2 && polled > 0; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) sinks[i]->append(buffer, static_cast<std::size_t>(got));
      if (got <= 0 && (got == 0 || errno != EINTR)) fds[i].fd = -1;  // EIO: the terminal has no other user
    }
    if (plan.terminal && !result.ready && result.out.find(plan.prompt) != std::string::npos) {
      result.ready = true;
      static_cast<void>(write(out[0], plan.keys.data(), plan.keys.size()));
    }
    if (watching && plan.ready()) {
      result.ready = true;
      kill(pid, plan.signal);
    }
    if (polled > 0 && fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t put = write(fds[2].fd, input.data() + fed, input.size() - fed);
      if (put > 0) fed += static_cast<std::size_t>(put);
      if (fed == input.size() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
        close(fds[2].fd);
        fds[2].fd = in[1] = -1;
      }
    }
  }
  // Its streams are closed: it is exiting, or soon past its deadline, when it is killed.
  int status = 0;
  pid_t done = 0;
  while (!late && (done = waitpid(pid, &status, WNOHANG)) == 0) {
    late = MillisecondsLeft(deadline) == 0;
    usleep(1000);
  }
  if (late) {
    ADD_FAILURE() << Quoted(arg_strings) << " ran past its deadline of " << kProcessDeadlineSeconds << " s";
    kill(-pid, SIGKILL);
    done = waitpid(pid, &status, 0);
  }
  // The terminal's settings outlive the program while this side stays open.
  termios settings{};
  result.echoing = plan.terminal && tcgetattr(out[0], &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  CloseOpen({in[1], out[0], err[0]});
  if (done == pid && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (done == pid && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

std::string ShellWords(const std::string &program) { return Quoted(WithEmulator({program})); }

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &input, const std::string &cwd) {
  return Run(argv, env, input, {cwd});
}

ProcessResult RunWith(const std::vector<std::string> &argv, const RunPlan &plan) { return Run(argv, {}, "", plan); }

}  // namespace ydr::test
