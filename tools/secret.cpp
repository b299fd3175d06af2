#include "tools/secret.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/process.h"

namespace ydr::tool {
namespace {

// Reads all of `fd` into `out`, which has room for kMaxSecretBytes, a line break and one byte, so it
// never grows (growing would leave a copy behind); more than that is no password, and
// reading stops there. The buffer used is wiped.
bool ReadAllFrom(int fd, std::string *out, std::string *error) {
  out->reserve(kMaxSecretBytes + 3);
  char chunk[256];
  bool ok = true;
  for (;;) {
    const std::size_t room = kMaxSecretBytes + 3 - out->size();
    const long got = platform::ReadDescriptor(fd, chunk, room < sizeof chunk ? room : sizeof chunk);
    if (got > 0) {
      out->append(chunk, static_cast<std::size_t>(got));
      if (out->size() < kMaxSecretBytes + 3) continue;
      break;  // too long, as TrimLineBreak will say
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = std::strerror(errno);
      ok = false;
    }
    break;
  }
  WipeBytes(chunk, sizeof chunk);
  return ok;
}

}  // namespace

void WipeBytes(void *data, std::size_t size) { ydr::platform::Wipe(data, size); }

void Secret::Wipe() {
  WipeBytes(text_.data(), text_.size());
  text_.clear();
  text_.shrink_to_fit();
}

bool Secret::TrimLineBreak(bool ok, std::string *error) {
  if (!text_.empty() && text_.back() == '\n') text_.pop_back();
  if (!text_.empty() && text_.back() == '\r') text_.pop_back();
  if (ok && text_.size() > kMaxSecretBytes) {
    *error = "longer than " + std::to_string(kMaxSecretBytes) + " bytes; not a password";
    Wipe();
    return false;
  }
  return ok;
}

bool Secret::FromFile(const std::string &path, std::string *error) {
  const int fd = platform::OpenForReading(path);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  const bool ok = ReadAllFrom(fd, &text_, error);
  platform::CloseDescriptor(fd);
  return TrimLineBreak(ok, error);
}

bool Secret::FromDescriptor(int fd, std::string *error) {
  const bool ok = ReadAllFrom(fd, &text_, error);
  return TrimLineBreak(ok, error);
}

}  // namespace ydr::tool
