#include "tests/support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

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

// The argument and environment arrays a new program takes, and the strings they point into.
struct ExecStrings {
  ExecStrings(const std::vector<std::string> &argv, const std::vector<std::string> &env)
      : env_strings(MergedEnvironment(env)), arg_strings(argv) {
    for (auto &s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (auto &s : arg_strings) args.push_back(s.data());
    args.push_back(nullptr);
  }
  std::vector<std::string> env_strings, arg_strings;
  std::vector<char *> envp, args;
};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &input, const std::string &cwd) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, env);

  int in_pipe[2], out_pipe[2], err_pipe[2];
  ProcessResult result;
  if (pipe2(in_pipe, O_CLOEXEC) != 0) return result;
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    close(in_pipe[0]);
    close(in_pipe[1]);
    return result;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]}) close(fd);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid;
  const int spawned = posix_spawn(&pid, exec.args[0], &actions, nullptr, exec.args.data(), exec.envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }

  // Input is fed as the child takes it, while its output is drained, so neither side can
  // block the other; a child that stops reading early simply gets no more.
  int in_fd = in_pipe[1];
  std::size_t fed = 0;
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  } else {
    fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  }
  pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
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
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool TerminalsAvailable() { return true; }

ProcessResult RunInTerminal(const std::vector<std::string> &argv, const std::string &prompt,
                            const std::string &answer) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, {});
  ProcessResult result;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return result;
  if (pid == 0) {
    execve(exec.args[0], exec.args.data(), exec.envp.data());
    _exit(127);
  }
  char buffer[4096];
  bool answered = prompt.empty();
  for (;;) {
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) {
      result.out.append(buffer, static_cast<std::size_t>(got));
      if (!answered && result.out.find(prompt) != std::string::npos) {
        answered = true;
        static_cast<void>(write(master, answer.data(), answer.size()));
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has gone and the terminal has no other user
    }
  }
  close(master);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace ydr::test

namespace ydr::test {
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

}  // namespace

InterruptedRun RunAndInterrupt(const std::vector<std::string> &argv, const std::function<bool()> &ready, int signal,
                               const std::string &cwd) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, {});
  InterruptedRun run;
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC | O_NONBLOCK) != 0 ||
      pipe2(err_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      if (fd >= 0) close(fd);
    }
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  // The test's own runner may have started it with SIGINT ignored (a background job).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid;
  const int spawned = posix_spawn(&pid, exec.args[0], &actions, &attributes, exec.args.data(), exec.envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) close(fd);
    return run;
  }
  int status = 0;
  bool ended = false;
  for (int waited = 0; waited < 30000 && !ended; ++waited) {
    Drain(out_pipe[0], &run.out);
    Drain(err_pipe[0], &run.err);
    if (ready()) {
      run.ready = true;
      break;
    }
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) usleep(1000);
  }
  if (!ended) {
    kill(pid, run.ready ? signal : SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  close(in_pipe[1]);
  for (int fd : {out_pipe[0], err_pipe[0]}) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Drain(fd, fd == out_pipe[0] ? &run.out : &run.err);
    close(fd);
  }
  RecordEnd(status, &run);
  return run;
}

InterruptedRun TypeInTerminal(const std::vector<std::string> &argv, const std::string &prompt,
                              const std::string &keys) {
  IgnoreBrokenPipes();
  ExecStrings exec(argv, {});
  InterruptedRun run;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(exec.args[0], exec.args.data(), exec.envp.data());
    _exit(127);
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) {
      run.out.append(buffer, static_cast<std::size_t>(got));
      if (!run.ready && run.out.find(prompt) != std::string::npos) {
        run.ready = true;
        static_cast<void>(write(master, keys.data(), keys.size()));
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has gone
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // The terminal's settings outlive the program while this side stays open.
  termios settings{};
  run.echoing = tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  close(master);
  RecordEnd(status, &run);
  return run;
}

}  // namespace ydr::test
