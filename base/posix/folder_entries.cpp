// Reading a folder on POSIX. Symbolic links are followed: a link to a file is listed as that
// file, a link to a folder as that folder (both also marked 0x400, as Windows marks its
// links). A walk that descends into every folder could then go round a loop of links
// forever, so a link that leads to the searched folder itself or to a folder on its path
// (the folder and each of its ancestors as the path names them, links included) is left
// out. Every loop a depth-first walk could enter passes through such a link, so walks
// always end.
//
// Pipes, sockets and devices are not listed: reading one can block or never end. Nor are
// names holding a backslash, which the library reads as a separator.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "base/path_absolute.h"
#include "base/posix/folder_entries.h"
#include "platform/files.h"
#include "platform/find_data.h"

namespace ydr::base {

using portable::WString;

namespace {

constexpr std::uint64_t kUnixEpochIn100ns = 116444736000000000ull;  // 1601-01-01 to 1970-01-01

struct Entry {
  WString name;
  std::uint32_t attributes;
  std::uint64_t size;
  std::uint64_t write_time;  // 100 ns units since 1601
};

std::uint64_t FileTime(const struct timespec &t) {
  return kUnixEpochIn100ns + static_cast<std::uint64_t>(t.tv_sec) * 10000000ull +
         static_cast<std::uint64_t>(t.tv_nsec) / 100;
}

using FolderId = std::pair<dev_t, ino_t>;

// The folders a walk has passed through to reach `folder`: the folder and each ancestor as
// its (absolute) path names them.
std::vector<FolderId> FoldersOnPath(const std::string &folder) {
  std::string path = folder;
  if (path.empty() || path[0] != '/') {
    const auto cwd = CurrentDirectory();
    path = (cwd ? portable::Utf8FromWide(*cwd) : std::string("/")) + "/" + path;
  }
  std::vector<FolderId> ids;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    struct stat info;
    const std::string prefix = i == 0 ? std::string("/") : path.substr(0, i);
    if (stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ids.emplace_back(info.st_dev, info.st_ino);
  }
  return ids;
}

bool DescribeEntry(const std::string &folder, const char *name, std::vector<FolderId> *path_folders,
                   bool *path_folders_known, FolderEntry *entry) {
  const std::string full = folder.empty() ? std::string(name) : folder + "/" + name;
  struct stat link_info;
  if (lstat(full.c_str(), &link_info) != 0) return false;  // gone since it was listed
  struct stat info = link_info;
  std::uint32_t attributes = 0;
  if (S_ISLNK(link_info.st_mode)) {
    attributes |= platform::kFileAttributeReparsePoint;
    if (stat(full.c_str(), &info) != 0) info = link_info;  // dangling: listed, opening it fails
  }
  if (S_ISDIR(info.st_mode)) {
    if (S_ISLNK(link_info.st_mode)) {
      if (!*path_folders_known) {
        *path_folders = FoldersOnPath(folder);
        *path_folders_known = true;
      }
      const FolderId target(info.st_dev, info.st_ino);
      if (std::find(path_folders->begin(), path_folders->end(), target) != path_folders->end()) return false;
    }
    attributes |= platform::kFileAttributeDirectory;
  } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
    attributes |= platform::kFileAttributeArchive;
  } else {
    return false;  // pipe, socket or device
  }
  if ((info.st_mode & S_IWUSR) == 0) attributes |= platform::kFileAttributeReadOnly;
  // A name holding a backslash cannot be told apart from a path on the platform this
  // library serves ("a\b" would come back as folder a, file b), so it is not listed.
  if (std::strchr(name, '\\') != nullptr) return false;
  entry->name = portable::WideFromUtf8(name);
  entry->attributes = attributes;
  entry->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  entry->write_time = FileTime(info.st_mtim);
  return entry->name.size() < kPathUnits;
}

}  // namespace

bool ReadFolder(const std::string &folder, std::vector<FolderEntry> *entries) {
  // Closed however the listing ends: a refused allocation throws out of the loop, and the
  // caller (a search export) turns that into its failure result, not into a lost descriptor.
  const std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (dir == nullptr) return false;
  // A file system's root has no "." or ".." entries on Windows.
  const std::string here_path = folder.empty() ? std::string(".") : folder;
  const std::string parent_path = here_path + "/..";
  struct stat here, parent;
  const bool is_root = stat(here_path.c_str(), &here) == 0 && stat(parent_path.c_str(), &parent) == 0 &&
                       here.st_dev == parent.st_dev && here.st_ino == parent.st_ino;
  std::vector<FolderId> path_folders;
  bool path_folders_known = false;
  while (const dirent *item = readdir(dir.get())) {
    const bool is_dot = std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0;
    FolderEntry entry;
    if (is_dot && is_root) continue;
    if (DescribeEntry(folder, item->d_name, &path_folders, &path_folders_known, &entry)) {
      entries->push_back(std::move(entry));
    }
  }
  return true;
}

}  // namespace ydr::base
