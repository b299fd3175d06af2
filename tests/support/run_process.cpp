#include "tests/support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>

extern char **environ;

namespace ydr::test {

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &input) {
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
  std::vector<std::string> env_strings;
  for (const auto &[name, value] : merged) env_strings.push_back(name + "=" + value);
  std::vector<char *> envp, args;
  for (auto &s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (auto &s : argv_copy) args.push_back(s.data());
  args.push_back(nullptr);

  int in_pipe[2], out_pipe[2], err_pipe[2];
  ProcessResult result;
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  pid_t pid;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
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
  if (!input.empty()) {
    [[maybe_unused]] ssize_t written = write(in_pipe[1], input.data(), input.size());
  }
  close(in_pipe[1]);

  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace ydr::test
