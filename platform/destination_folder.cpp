#include "platform/destination_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace ydr::platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsBadComponent(const std::string &name) {
  return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos;
}

// What is at `name` in `folder` without following a link: 0 when nothing is.
mode_t TypeAt(int folder, const std::string &name) {
  struct stat info;
  if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  return info.st_mode & S_IFMT;
}

bool Fail(FolderProblem *problem, FolderProblem::Kind kind, const std::string &component, int error = 0) {
  problem->kind = kind;
  problem->error = error;
  problem->component = component;
  return false;
}

// Makes every folder of an ordinary path (the destination itself may sit below links).
bool MakeFolders(const std::string &path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string FolderProblem::Describe() const {
  switch (kind) {
    case kNone: return "no problem";
    case kLink: return "a symbolic link is in the way at '" + component + "'";
    case kNotFolder: return "'" + component + "' is not a folder";
    case kNotRegular: return "'" + component + "' is not a regular file";
    case kBadName: return "the name has no usable path";
    case kSystem: return (component.empty() ? std::string() : "'" + component + "': ") + std::strerror(error);
  }
  return "failed";
}

DestinationFolder::~DestinationFolder() {
  if (fd_ >= 0) close(fd_);
}

bool DestinationFolder::Open(const std::string &path, bool create, FolderProblem *problem) {
  if (create && !MakeFolders(path)) return Fail(problem, FolderProblem::kSystem, path, errno);
  fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return Fail(problem, FolderProblem::kSystem, path, errno);
  return true;
}

int DestinationFolder::OpenFolder(const std::vector<std::string> &components, FolderProblem *problem) const {
  int current = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (current < 0) return Fail(problem, FolderProblem::kSystem, "", errno), -1;
  std::string where;
  for (const std::string &name : components) {
    where += (where.empty() ? "" : "/") + name;
    if (IsBadComponent(name)) {
      close(current);
      return Fail(problem, FolderProblem::kBadName, where), -1;
    }
    int next = openat(current, name.c_str(), kFolderFlags);
    if (next < 0 && errno == ENOENT) {
      if (mkdirat(current, name.c_str(), 0777) != 0 && errno != EEXIST) {
        const int error = errno;
        close(current);
        return Fail(problem, FolderProblem::kSystem, where, error), -1;
      }
      next = openat(current, name.c_str(), kFolderFlags);
    }
    if (next < 0) {
      const int error = errno;
      const mode_t type = TypeAt(current, name);
      close(current);
      if (type == S_IFLNK) return Fail(problem, FolderProblem::kLink, where), -1;
      if (type != 0 && type != S_IFDIR) return Fail(problem, FolderProblem::kNotFolder, where), -1;
      return Fail(problem, FolderProblem::kSystem, where, error), -1;
    }
    close(current);
    current = next;
  }
  return current;
}

bool DestinationFolder::Holds(const std::vector<std::string> &components) const {
  if (components.empty()) return true;
  int current = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  for (std::size_t i = 0; current >= 0 && i + 1 < components.size(); ++i) {
    const int next = IsBadComponent(components[i]) ? -1 : openat(current, components[i].c_str(), kFolderFlags);
    close(current);
    current = next;
  }
  if (current < 0) return false;
  const bool held = !IsBadComponent(components.back()) && TypeAt(current, components.back()) != 0;
  close(current);
  return held;
}

int DestinationFolder::CreateTemporary(int folder, const std::string &name, std::string *temporary,
                                       FolderProblem *problem) {
  if (IsBadComponent(name)) return Fail(problem, FolderProblem::kBadName, name), -1;
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    static_cast<void>(std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                                    static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull)));
    // A long name keeps its start, so the temporary name stays within the file system's limit.
    *temporary = "." + name.substr(0, 200) + suffix;
    const int fd = openat(folder, temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return Fail(problem, FolderProblem::kSystem, name, errno), -1;
  }
  return Fail(problem, FolderProblem::kSystem, name, EEXIST), -1;
}

bool DestinationFolder::Commit(int folder, const std::string &temporary, const std::string &name,
                               FolderProblem *problem) {
  if (IsBadComponent(name)) return Fail(problem, FolderProblem::kBadName, name);
#if defined(RENAME_NOREPLACE)
  if (renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) return true;
  // Something is there (see what it is), or the file system cannot say (move as before).
  if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) return Fail(problem, FolderProblem::kSystem, name, errno);
#endif
  const mode_t type = TypeAt(folder, name);
  if (type == S_IFLNK) return Fail(problem, FolderProblem::kLink, name);
  if (type != 0 && type != S_IFREG) return Fail(problem, FolderProblem::kNotRegular, name);
  if (renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
    return Fail(problem, FolderProblem::kSystem, name, errno);
  }
  return true;
}

int DestinationFolder::OpenForWriting(int folder, const std::string &name, FolderProblem *problem) {
  if (IsBadComponent(name)) return Fail(problem, FolderProblem::kBadName, name), -1;
  const mode_t type = TypeAt(folder, name);
  if (type == S_IFLNK) return Fail(problem, FolderProblem::kLink, name), -1;
  if (type != 0 && type != S_IFREG) return Fail(problem, FolderProblem::kNotRegular, name), -1;
  // Non-blocking, so that a pipe swapped in since the check cannot hold the open; its type
  // is checked again on the descriptor.
  const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    return Fail(problem, errno == ELOOP ? FolderProblem::kLink : FolderProblem::kSystem, name, errno), -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Fail(problem, FolderProblem::kNotRegular, name), -1;
  }
  if (ftruncate(fd, 0) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    close(fd);
    return Fail(problem, FolderProblem::kSystem, name, error), -1;
  }
  return fd;
}

FolderCache::~FolderCache() {
  for (auto &[key, entry] : open_) close(entry.fd);
}

int FolderCache::Lookup(const std::string &key) {
  const auto it = open_.find(key);
  if (it == open_.end()) return -1;
  it->second.used = ++clock_;
  return it->second.fd;
}

void FolderCache::Keep(const std::string &key, int fd) {
  if (open_.size() >= capacity_) {
    auto oldest = open_.begin();
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->second.used < oldest->second.used) oldest = it;
    }
    close(oldest->second.fd);
    open_.erase(oldest);
  }
  open_[key] = {fd, ++clock_};
}

int FolderCache::Get(const std::vector<std::string> &components, bool create, FolderProblem *problem) {
  if (components.empty()) return dest_.descriptor();
  std::string key;
  for (const std::string &c : components) key += c + '/';
  if (const int fd = Lookup(key); fd >= 0) return fd;
  if (!create && missing_.count(key) != 0) return Fail(problem, FolderProblem::kSystem, key, ENOENT), -1;
  // The parent, from the cache or made the same way; then this one folder below it.
  const std::vector<std::string> parent_components(components.begin(), components.end() - 1);
  const int parent = Get(parent_components, create, problem);
  if (parent < 0) return -1;
  const std::string &name = components.back();
  const std::string where = key.substr(0, key.size() - 1);
  if (IsBadComponent(name)) return Fail(problem, FolderProblem::kBadName, where), -1;
  int fd = openat(parent, name.c_str(), kFolderFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
      return Fail(problem, FolderProblem::kSystem, where, errno), -1;
    }
    fd = openat(parent, name.c_str(), kFolderFlags);
  }
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT && !create) {
      missing_.insert(key);
      return Fail(problem, FolderProblem::kSystem, where, error), -1;
    }
    const mode_t type = TypeAt(parent, name);
    if (type == S_IFLNK) return Fail(problem, FolderProblem::kLink, where), -1;
    if (type != 0 && type != S_IFDIR) return Fail(problem, FolderProblem::kNotFolder, where), -1;
    return Fail(problem, FolderProblem::kSystem, where, error), -1;
  }
  missing_.erase(key);
  Keep(key, fd);
  return fd;
}

bool FolderCache::Holds(const std::vector<std::string> &components) {
  if (components.empty()) return true;
  FolderProblem ignored;
  const int parent = Get(std::vector<std::string>(components.begin(), components.end() - 1), false, &ignored);
  return parent >= 0 && !IsBadComponent(components.back()) && TypeAt(parent, components.back()) != 0;
}

std::vector<std::string> PathComponents(const std::string &path) {
  std::vector<std::string> components;
  std::string current;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (!current.empty() && current != ".") components.push_back(current);
      current.clear();
    } else {
      current.push_back(path[i]);
    }
  }
  return components;
}

}  // namespace ydr::platform
