// The password typed at the controlling terminal, with echo off.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/interrupt_cleanup.h"
#include "tools/secret.h"

namespace ydr::tool {

bool Secret::FromTerminal(const char *prompt, std::string *error) {
  const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *error = "no terminal to ask on; give --password-file or --password-fd";
    return false;
  }
  termios saved{};
  const bool have_terminal = tcgetattr(fd, &saved) == 0;
  if (have_terminal) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    RememberTerminal(fd, &saved, sizeof saved);  // put back if the prompt is interrupted
    static_cast<void>(tcsetattr(fd, TCSAFLUSH, &quiet));
  }
  static_cast<void>(write(fd, prompt, std::strlen(prompt)));
  text_.reserve(kMaxSecretBytes + 3);  // never grown: growing would leave a copy behind
  bool ok = true;
  for (;;) {
    char c;
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = std::strerror(errno);
      ok = false;
      break;
    }
    if (got == 0 || c == '\n') break;
    if (text_.size() <= kMaxSecretBytes) text_ += c;  // the rest is read, not kept: too long
  }
  if (have_terminal) {
    static_cast<void>(tcsetattr(fd, TCSAFLUSH, &saved));
    RememberTerminal(fd, nullptr, 0);
  }
  static_cast<void>(write(fd, "\n", 1));
  close(fd);
  return TrimLineBreak(ok, error);
}

}  // namespace ydr::tool
