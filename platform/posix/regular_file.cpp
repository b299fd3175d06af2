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

namespace {

int SystemFlags(const OpenFor &how) {
  using Access = OpenFor::Access;
  const int access = how.access == Access::kRead ? O_RDONLY : how.access == Access::kWrite ? O_WRONLY : O_RDWR;
  return access | (how.create ? O_CREAT : 0) | (how.exclusive ? O_EXCL : 0) | (how.append ? O_APPEND : 0);
}

}  // namespace

// The open never waits: O_NONBLOCK until the type is known.
int OpenRegularFile(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const bool truncate = how.truncate;
  const int fd = open(path.c_str(), SystemFlags(how) | O_NONBLOCK | O_CLOEXEC, 0666);
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

std::FILE *OpenRegularStream(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const int fd = OpenRegularFile(path, how, problem);
  if (fd < 0) return nullptr;
  std::FILE *file = fdopen(fd, StreamMode(how));
  if (file == nullptr) {
    problem->error = errno;
    close(fd);
  }
  return file;
}

}  // namespace ydr::platform
