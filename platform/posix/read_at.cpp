#include "platform/read_at.h"

#include <unistd.h>

#include <cerrno>

namespace ydr::platform {

long long ReadAt(std::FILE *file, std::uint64_t offset, void *buffer, std::size_t size) {
  const int fd = fileno(file);
  if (fd < 0) {  // a stream without a file (in memory): through the stream after all
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
    const std::size_t got = std::fread(buffer, 1, size, file);
    return got == 0 && std::ferror(file) != 0 ? -1 : static_cast<long long>(got);
  }
  for (;;) {
    const ssize_t n = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

}  // namespace ydr::platform
