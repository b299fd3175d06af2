// The parts of the file services that are the same on every system.
#include "platform/files.h"

#include <cerrno>

namespace ydr::platform {

bool IsSeparator(char32_t c) { return c == '/' || c == '\\'; }

static bool IsDriveLetter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && IsDriveLetter(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool HasDrive(const portable::WChar *path, std::size_t length) {
  return length >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

bool WriteAllToDescriptor(int fd, const void *buffer, std::size_t size) {
  const auto *bytes = static_cast<const unsigned char *>(buffer);
  while (size > 0) {
    const long n = WriteDescriptor(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::FILE *OpenRegularStream(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const int fd = OpenRegularFile(path, how, problem);
  if (fd < 0) return nullptr;
  std::FILE *file = StreamFromDescriptor(fd, StreamMode(how));
  if (file == nullptr) problem->error = errno;
  return file;
}

}  // namespace ydr::platform
