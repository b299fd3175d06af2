// Folders as descriptors: every name is looked up relative to its folder's descriptor with
// O_NOFOLLOW, so a link planted anywhere below the destination is met, never followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/folder_names.h"

namespace ydr::platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

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

bool DestinationFolder::Open(const std::string &path, bool create, FolderProblem *problem) {
  if (create && !MakeFolders(path)) return FailWith(problem, FolderProblem::kSystem, path, errno);
  fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return FailWith(problem, FolderProblem::kSystem, path, errno);
  return true;
}

DestinationFolder::EntryKind DestinationFolder::KindAt(int folder, const std::string &name) {
  struct stat info;
  if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kNothing;
  switch (info.st_mode & S_IFMT) {
    case S_IFDIR: return EntryKind::kFolder;
    case S_IFREG: return EntryKind::kRegular;
    case S_IFLNK: return EntryKind::kLink;
    default: return EntryKind::kOther;
  }
}

int DestinationFolder::OpenChild(int folder, const std::string &name, bool create, const std::string &where,
                                 FolderProblem *problem) {
  int fd = openat(folder, name.c_str(), kFolderFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (mkdirat(folder, name.c_str(), 0777) != 0 && errno != EEXIST) {
      return FailWith(problem, FolderProblem::kSystem, where, errno), -1;
    }
    fd = openat(folder, name.c_str(), kFolderFlags);
  }
  if (fd >= 0) return fd;
  const int error = errno;
  const EntryKind kind = error == ENOENT ? EntryKind::kNothing : KindAt(folder, name);
  return FailForKind(kind, FolderProblem::kNotFolder, where, error, problem), -1;
}

int DestinationFolder::CopyFolder(int folder) { return fcntl(folder, F_DUPFD_CLOEXEC, 0); }

void DestinationFolder::CloseFolder(int folder) { close(folder); }

int DestinationFolder::CreateTemporary(int folder, const std::string &name, std::string *temporary,
                                       FolderProblem *problem) {
  if (IsBadComponent(name)) return FailWith(problem, FolderProblem::kBadName, name), -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = TemporaryNameFor(name);
    const int fd = openat(folder, temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return FailWith(problem, FolderProblem::kSystem, name, errno), -1;
  }
  return FailWith(problem, FolderProblem::kSystem, name, EEXIST), -1;
}

bool DestinationFolder::Commit(int folder, const std::string &temporary, const std::string &name,
                               FolderProblem *problem) {
  if (IsBadComponent(name)) return FailWith(problem, FolderProblem::kBadName, name);
#if defined(RENAME_NOREPLACE)
  if (renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) return true;
  // Something is there (see what it is), or the file system cannot say (move as before).
  if (errno != EEXIST && errno != EINVAL && errno != ENOSYS)
    return FailWith(problem, FolderProblem::kSystem, name, errno);
#endif
  const EntryKind kind = KindAt(folder, name);
  if (kind != EntryKind::kNothing && kind != EntryKind::kRegular) {
    return FailForKind(kind, FolderProblem::kNotRegular, name, 0, problem);
  }
  if (renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
    return FailWith(problem, FolderProblem::kSystem, name, errno);
  }
  return true;
}

void DestinationFolder::RemoveTemporary(int folder, const std::string &temporary) {
  unlinkat(folder, temporary.c_str(), 0);
}

int DestinationFolder::OpenForWriting(int folder, const std::string &name, FolderProblem *problem) {
  if (IsBadComponent(name)) return FailWith(problem, FolderProblem::kBadName, name), -1;
  const EntryKind kind = KindAt(folder, name);
  if (kind != EntryKind::kNothing && kind != EntryKind::kRegular) {
    return FailForKind(kind, FolderProblem::kNotRegular, name, 0, problem), -1;
  }
  // Non-blocking, so that a pipe swapped in since the check cannot hold the open; its type
  // is checked again on the descriptor.
  const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    return FailWith(problem, errno == ELOOP ? FolderProblem::kLink : FolderProblem::kSystem, name, errno), -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return FailWith(problem, FolderProblem::kNotRegular, name), -1;
  }
  if (ftruncate(fd, 0) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    close(fd);
    return FailWith(problem, FolderProblem::kSystem, name, error), -1;
  }
  return fd;
}

}  // namespace ydr::platform
