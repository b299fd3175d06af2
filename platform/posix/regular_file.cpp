#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ydr::platform {

std::string OpenProblem::Describe() const {
  if (not_regular) return "not a regular file";
  return std::strerror(error);
}

int OpenRegularFile(const std::string &path, int flags, mode_t mode, OpenProblem *problem) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int fd = open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) {
    problem->error = errno;
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    close(fd);
    problem->not_regular = true;
    problem->error = S_ISDIR(info.st_mode) ? EISDIR : 0;
    return -1;
  }
  if ((truncate && ftruncate(fd, 0) != 0) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    problem->error = errno;
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace ydr::platform
