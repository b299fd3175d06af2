// Folders as descriptors: every name is looked up relative to its folder's descriptor with
// O_NOFOLLOW, so a link planted anywhere below the destination is met, never followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

namespace {

// Moves `from` to `to` in `folder` only when nothing is at `to`; fails with EEXIST
// otherwise. Where the file system has no such move, a second name made with link() (which
// never replaces either) and the first one removed do the same. A file system with neither
// (FAT, say) leaves only a look before the move: there a name taken in between is lost.
bool MoveWithoutReplacing(int folder, const std::string &from, const std::string &to) {
#if defined(RENAME_NOREPLACE)
  if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  if (linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
    static_cast<void>(unlinkat(folder, from.c_str(), 0));  // the file is in place either way
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) return false;
  if (DestinationFolder::KindAt(folder, to) != DestinationFolder::EntryKind::kNothing) {
    errno = EEXIST;
    return false;
  }
  return renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

}  // namespace

bool DestinationFolder::Commit(int folder, const std::string &temporary, const std::string &name,
                               const Replacing &replacing, FolderProblem *problem) {
  if (IsBadComponent(name)) return FailWith(problem, FolderProblem::kBadName, name);
  if (MoveWithoutReplacing(folder, temporary, name)) return true;
  if (errno != EEXIST) return FailWith(problem, FolderProblem::kSystem, name, errno);
  const EntryKind kind = KindAt(folder, name);
  if (kind != EntryKind::kNothing && kind != EntryKind::kRegular) {
    return FailForKind(kind, FolderProblem::kNotRegular, name, 0, problem);
  }
  if (replacing.mode == Replacing::kNothing) return FailWith(problem, FolderProblem::kExists, name);
  if (replacing.mode == Replacing::kOnlyFile) {
    const std::optional<FileIdentity> there = IdentityAt(folder, name);
    if (!there || !(*there == replacing.file)) return FailWith(problem, FolderProblem::kExists, name);
  }
  // Replacing the name, never writing the file it named: a second link to that file (one
  // planted to reach a file elsewhere) keeps the old contents.
  if (renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
    return FailWith(problem, FolderProblem::kSystem, name, errno);
  }
  return true;
}

std::optional<FileIdentity> DestinationFolder::IdentityAt(int folder, const std::string &name) {
  struct stat info;
  if (IsBadComponent(name) || fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

void DestinationFolder::RemoveTemporary(int folder, const std::string &temporary) {
  unlinkat(folder, temporary.c_str(), 0);
}

}  // namespace ydr::platform
