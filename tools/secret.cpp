#include "tools/secret.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/wipe.h"

namespace ydr::tool {
namespace {

// Reads all of `fd` into `out`; the buffer used is wiped.
bool ReadAllFrom(int fd, std::string *out, std::string *error) {
  char chunk[256];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
      out->append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    WipeBytes(chunk, sizeof chunk);
    if (got < 0) {
      *error = std::strerror(errno);
      return false;
    }
    return true;
  }
}

}  // namespace

void WipeBytes(void *data, std::size_t size) { ydr::platform::Wipe(data, size); }

void Secret::Wipe() {
  WipeBytes(text_.data(), text_.size());
  text_.clear();
  text_.shrink_to_fit();
}

void Secret::TrimLineBreak() {
  if (!text_.empty() && text_.back() == '\n') text_.pop_back();
  if (!text_.empty() && text_.back() == '\r') text_.pop_back();
}

bool Secret::FromFile(const std::string &path, std::string *error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  // Room reserved up front, so that growing the text never leaves a copy behind.
  text_.reserve(4096);
  const bool ok = ReadAllFrom(fd, &text_, error);
  close(fd);
  TrimLineBreak();
  return ok;
}

bool Secret::FromDescriptor(int fd, std::string *error) {
  text_.reserve(4096);
  const bool ok = ReadAllFrom(fd, &text_, error);
  TrimLineBreak();
  return ok;
}

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
    static_cast<void>(tcsetattr(fd, TCSAFLUSH, &quiet));
  }
  static_cast<void>(write(fd, prompt, std::strlen(prompt)));
  text_.reserve(4096);
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
    text_ += c;
  }
  if (have_terminal) static_cast<void>(tcsetattr(fd, TCSAFLUSH, &saved));
  static_cast<void>(write(fd, "\n", 1));
  close(fd);
  TrimLineBreak();
  return ok;
}

}  // namespace ydr::tool
