// Output on POSIX: links followed to the file they name, a temporary file beside the target
// with the target's mode and owner, synced to disk before it is renamed into place.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/file_io.h"

namespace ydr::tool {

bool Output::OpenFile(const std::string &path, unsigned new_file_mode, bool exact_mode) {
  target_ = path;
  enum class Kind { kNew, kRegular, kStraight } kind = Kind::kNew;
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      // Follow the link to the file it names, so the link itself stays. A link that leads
      // nowhere is not written through: that would make a file wherever it points.
      char resolved[PATH_MAX];
      if (realpath(path.c_str(), resolved) == nullptr || lstat(resolved, &info) != 0) {
        error_ = "a symbolic link that leads nowhere (not written through)";
        return false;
      }
      target_ = resolved;
    }
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return Fail();
    }
    kind = S_ISREG(info.st_mode) ? Kind::kRegular : Kind::kStraight;
  } else if (errno != ENOENT) {
    return Fail();
  }
  if (kind == Kind::kStraight) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, new_file_mode);
    if (fd < 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
      Fail();
      if (fd >= 0) close(fd);
      return false;
    }
    return true;
  }
  temporary_ = target_ + ".ydr-XXXXXX";
  cleanup_.emplace();
  const int fd = mkstemp(temporary_.data());
  if (fd < 0) {
    temporary_.clear();
    cleanup_.reset();
    return Fail();
  }
  cleanup_->Record(temporary_);
  // A new file gets the usual mode; an existing one keeps its own (and its owner, when we
  // may set it).
  mode_t mode;
  if (kind == Kind::kRegular) {
    mode = info.st_mode & 07777;
    [[maybe_unused]] const int owned = fchown(fd, info.st_uid, info.st_gid);
  } else if (exact_mode) {
    mode = new_file_mode;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = new_file_mode & ~mask;
  }
  if (fchmod(fd, mode) != 0 || (file_ = fdopen(fd, "w+b")) == nullptr) {
    Fail();
    close(fd);
    static_cast<void>(std::remove(temporary_.c_str()));
    temporary_.clear();
    cleanup_.reset();
    return false;
  }
  return true;
}

bool Output::CommitToDisk(std::FILE *file) { return fsync(fileno(file)) == 0; }

bool Output::ApplyAttributes(std::FILE *file) const {
  struct stat info {};
  if (stat(attributes_from_.c_str(), &info) != 0) return false;
  const timespec times[2] = {info.st_atim, info.st_mtim};
  return fchmod(fileno(file), info.st_mode & 0777) == 0 && futimens(fileno(file), times) == 0;
}

bool Output::MoveIntoPlace() const {
  if (!keep_existing_) return std::rename(temporary_.c_str(), target_.c_str()) == 0;
#if defined(RENAME_NOREPLACE)
  if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;  // EEXIST: someone put a file there
#endif
  // A second link fails where anything is; the temporary name then goes.
  if (link(temporary_.c_str(), target_.c_str()) != 0) return false;
  static_cast<void>(unlink(temporary_.c_str()));
  return true;
}

}  // namespace ydr::tool
