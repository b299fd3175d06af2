// Directory search. A search reads its whole folder when it starts and hands out the
// entries in a fixed order: "." and "..", then the rest by name in ordinal UTF-16 order.
// Windows lists in the file system's order, which on its usual file systems is by name;
// fixing the order here means the same tree always gives the same archive.
//
// Symbolic links are followed: a link to a file is listed as that file, a link to a folder
// as that folder (both also marked 0x400, as Windows marks its links). A walk that descends
// into every folder could then go round a loop of links forever, so a link that leads to
// the searched folder itself or to a folder on its path (the folder and each of its
// ancestors as the path names them, links included) is left out. Every loop a depth-first
// walk could enter passes through such a link, so walks always end.
//
// Pipes, sockets and devices are not listed: reading one can block or never end. Nor are
// names holding a backslash, which is a separator here.
#include "base/find_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/path_absolute.h"
#include "base/ydr_base.h"
#include "platform/guarded_call.h"
#include "platform/native_path.h"
#include "platform/wildcard.h"

namespace ydr::base {

using platform::WChar;
using platform::WString;

namespace {

constexpr std::uint64_t kUnixEpochIn100ns = 116444736000000000ull;  // 1601-01-01 to 1970-01-01

struct Entry {
  WString name;
  std::uint32_t attributes;
  std::uint64_t size;
  std::uint64_t write_time;  // 100 ns units since 1601
};

struct Search : platform::FindHandleHeader {
  std::vector<Entry> entries;
  std::size_t next = 0;
};

void ReleaseSearch(platform::FindHandleHeader *handle) { delete static_cast<Search *>(handle); }

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
    path = (cwd ? platform::Utf8FromWide(*cwd) : std::string("/")) + "/" + path;
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
                   bool *path_folders_known, Entry *entry) {
  const std::string full = folder.empty() ? std::string(name) : folder + "/" + name;
  struct stat link_info;
  if (lstat(full.c_str(), &link_info) != 0) return false;  // gone since it was listed
  struct stat info = link_info;
  std::uint32_t attributes = 0;
  if (S_ISLNK(link_info.st_mode)) {
    attributes |= platform::FILE_ATTRIBUTE_REPARSE_POINT;
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
    attributes |= platform::FILE_ATTRIBUTE_DIRECTORY;
  } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
    attributes |= platform::FILE_ATTRIBUTE_ARCHIVE;
  } else {
    return false;  // pipe, socket or device
  }
  if ((info.st_mode & S_IWUSR) == 0) attributes |= platform::FILE_ATTRIBUTE_READONLY;
  // A name holding a backslash cannot be told apart from a path on the platform this
  // library serves ("a\b" would come back as folder a, file b), so it is not listed.
  if (std::strchr(name, '\\') != nullptr) return false;
  entry->name = platform::WideFromUtf8(name);
  entry->attributes = attributes;
  entry->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  entry->write_time = FileTime(info.st_mtim);
  return entry->name.size() < kPathUnits;
}

bool ListFolder(const std::string &folder, const WString &pattern, std::vector<Entry> *entries) {
  DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  std::vector<FolderId> path_folders;
  bool path_folders_known = false;
  Entry dot_entries[2];
  bool have_dot[2] = {false, false};
  while (const dirent *item = readdir(dir)) {
    const bool is_dot = std::strcmp(item->d_name, ".") == 0;
    const bool is_dot_dot = std::strcmp(item->d_name, "..") == 0;
    Entry entry;
    if (!DescribeEntry(folder, item->d_name, &path_folders, &path_folders_known, &entry)) continue;
    if (!MatchesSearchPattern(entry.name, pattern)) continue;
    if (is_dot || is_dot_dot) {
      dot_entries[is_dot ? 0 : 1] = std::move(entry);
      have_dot[is_dot ? 0 : 1] = true;
    } else {
      entries->push_back(std::move(entry));
    }
  }
  closedir(dir);
  std::sort(entries->begin(), entries->end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });

  // A file system's root has no "." or ".." entries on Windows.
  const std::string here_path = folder.empty() ? std::string(".") : folder;
  const std::string parent_path = here_path + "/..";
  struct stat here, parent;
  const bool is_root = stat(here_path.c_str(), &here) == 0 && stat(parent_path.c_str(), &parent) == 0 &&
                       here.st_dev == parent.st_dev && here.st_ino == parent.st_ino;
  if (!is_root) {
    for (int i = 1; i >= 0; --i) {
      if (have_dot[i]) entries->insert(entries->begin(), std::move(dot_entries[i]));
    }
  }
  return true;
}

void Fill(const Entry &entry, WIN32_FIND_DATAW *data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = entry.attributes;
  const platform::FILETIME time{static_cast<std::uint32_t>(entry.write_time),
                                static_cast<std::uint32_t>(entry.write_time >> 32)};
  data->ftCreationTime = time;
  data->ftLastAccessTime = time;
  data->ftLastWriteTime = time;
  data->nFileSizeHigh = static_cast<std::uint32_t>(entry.size >> 32);
  data->nFileSizeLow = static_cast<std::uint32_t>(entry.size);
  std::memcpy(data->cFileName, entry.name.c_str(), (entry.name.size() + 1) * sizeof(WChar));
}

}  // namespace

bool MatchesSearchPattern(const WString &name, const WString &pattern) {
  if (pattern == WString{'*'} || pattern == WString{'*', '.', '*'}) return true;
  return platform::WildcardMatch(name.data(), name.data() + name.size(), pattern.data(),
                                 pattern.data() + pattern.size());
}

}  // namespace ydr::base

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, WIN32_FIND_DATAW *data) {
  return ydr::platform::GuardedCall(ydr::platform::InvalidHandleValue(), [&]() -> void * {
    using namespace ydr;
    const auto failure = platform::InvalidHandleValue();
    const std::size_t length = platform::WideLength(pattern);
    if (length == 0 || data == nullptr) return failure;

    std::size_t name_start = length;
    while (name_start > 0 && !platform::IsSeparator(pattern[name_start - 1])) --name_start;
    const platform::WString name_pattern(pattern + name_start, length - name_start);
    if (name_pattern.empty()) return failure;
    std::string folder = platform::NativePathFromWide(platform::WString(pattern, name_start).c_str());
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

    auto *search = new (std::nothrow) base::Search;
    if (search == nullptr) return failure;
    search->magic = platform::FindHandleHeader::kMagic;
    search->release = base::ReleaseSearch;
    if (!base::ListFolder(folder, name_pattern, &search->entries) || search->entries.empty()) {
      delete search;
      return failure;
    }
    base::Fill(search->entries[0], data);
    search->next = 1;
    return search;
  });
}

YDR_BL_API int YdrFindNextFileW(void *handle, WIN32_FIND_DATAW *data) {
  using namespace ydr;
  if (handle == nullptr || handle == platform::InvalidHandleValue() || data == nullptr) return 0;
  auto *search = static_cast<base::Search *>(static_cast<platform::FindHandleHeader *>(handle));
  if (search->magic != platform::FindHandleHeader::kMagic || search->next >= search->entries.size()) return 0;
  base::Fill(search->entries[search->next++], data);
  return 1;
}
