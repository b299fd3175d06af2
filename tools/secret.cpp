#include "tools/secret.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_access.h"
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
  const int fd = platform::OpenForReading(path);
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

}  // namespace ydr::tool
