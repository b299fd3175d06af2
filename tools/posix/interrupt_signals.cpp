// Interruptions on POSIX: SIGINT, SIGTERM and SIGHUP remove the recorded temporary files,
// put back a terminal a prompt changed, and then end the process by the same signal with
// its default action. Only async-signal-safe calls run in the handler.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "tools/interrupt_cleanup.h"
#include "tools/interrupt_records.h"

namespace ydr::tool {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The terminal to put back: its descriptor (-1 for none) and settings.
std::atomic<int> terminal_fd{-1};
termios terminal_settings;

void OnSignal(int signal) {
  if (interrupt::holds.load() > 0) {
    interrupt::pending.store(signal);  // the hold's end acts on it
    return;
  }
  interrupt::EndBySignal(signal);
}

}  // namespace

namespace interrupt {

void Locate(int folder, const std::string &name, int *stored_folder, std::string *stored_path) {
  *stored_folder = folder;
  *stored_path = name;
}

std::string AbsolutePath(const std::string &path) {
  if (path.empty() || path[0] == '/') return path;
  char here[kPathBytes];
  if (getcwd(here, sizeof here) == nullptr) return path;  // kept relative: the command never changes folder
  return std::string(here) + "/" + path;
}

void EndBySignal(int signal) {
  for (Slot &slot : slots) {
    if (slot.state.load() != kRecorded) continue;
    static_cast<void>(unlinkat(slot.folder >= 0 ? slot.folder : AT_FDCWD, slot.path, 0));
  }
  const int terminal = terminal_fd.exchange(-1);
  if (terminal >= 0) {
    static_cast<void>(tcsetattr(terminal, TCSANOW, &terminal_settings));
    static_cast<void>(write(terminal, "\n", 1));  // the line the prompt was on ends
  }
  // The signal's own default action ends the process, so the parent sees which it was.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  static_cast<void>(sigaction(signal, &action, nullptr));
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal);
  static_cast<void>(raise(signal));
  static_cast<void>(pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr));  // inside the handler it was blocked
  _exit(128 + signal);                                                   // not reached
}

}  // namespace interrupt

void CleanUpOnInterrupt() {
  for (const int signal : kSignals) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : kSignals) sigaddset(&action.sa_mask, other);  // one cleanup at a time
    action.sa_flags = SA_RESTART;  // a held-off signal must not fail the call it interrupted
    static_cast<void>(sigaction(signal, &action, nullptr));
  }
}

void RememberTerminal(long long terminal, const void *settings, std::size_t size) {
  if (settings == nullptr || size != sizeof(termios)) {
    terminal_fd.store(-1);
    return;
  }
  terminal_fd.store(-1);
  std::memcpy(&terminal_settings, settings, sizeof(termios));
  terminal_fd.store(static_cast<int>(terminal));
}

}  // namespace ydr::tool
