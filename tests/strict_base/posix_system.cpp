// The strict base library's system pieces on POSIX. Searches list as a Windows search does:
// folders and regular files, symbolic links followed and marked 0x400 (a link back up the tree
// is a loop only the caller can notice); names holding '\', pipes, sockets, devices and
// dangling links are left out. Searches still open at exit end the process with status 1.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/wildcard.h"
#include "tests/strict_base/strict_base.h"

namespace ydr::strict {

using portable::WString;

WString SystemAbsolutePath(const WString &path) {
  const std::size_t drive = platform::HasDrive(path.data(), path.size()) ? 2 : 0;
  WString rest = path.substr(drive);
  if (rest.empty() || !platform::IsSeparator(rest[0])) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return WString();
    rest = portable::WideFromUtf8(cwd) + WString{'/'} + rest;
  }
  // Each component after a '\', ".." taking back the one before it.
  WString result = path.substr(0, drive);
  std::vector<std::size_t> starts;  // of the components kept in `result`
  for (std::size_t i = 0, start = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && !platform::IsSeparator(rest[i])) continue;
    const WString part = rest.substr(start, i - start);
    start = i + 1;
    if (part == WString{'.', '.'} && !starts.empty()) {
      result.resize(starts.back());
      starts.pop_back();
    } else if (!part.empty() && part != WString{'.'} && part != WString{'.', '.'}) {
      starts.push_back(result.size());
      result += WString{'\\'} + part;
    }
  }
  if (starts.empty() || platform::IsSeparator(path.back())) result.push_back('\\');
  return result;
}

namespace {

struct Search {
  static constexpr std::uint32_t kMagic = 0x53545243;  // a live search
  std::uint32_t magic = kMagic;
  DIR *stream = nullptr;
  WString pattern;
  WString name;  // of the entry read last; room for the longest is reserved at the start
  ~Search() {
    if (stream != nullptr) closedir(stream);
  }
};

std::atomic<int> g_open_searches{0};

struct LeakCheck {
  ~LeakCheck() {
    const int open = g_open_searches.load();
    if (open == 0) return;
    std::fprintf(stderr, "strict base library: %d folder search%s never closed with FindClose\n", open,
                 open == 1 ? " was" : "es were");
    std::fflush(stderr);
    _exit(1);
  }
} g_leak_check;

// The UTF-16 form of a name (of at most 255 bytes, so `out` never grows), false for bytes
// that are not UTF-8, whose name no Windows search could list either.
bool NameToWide(const char *name, WString *out) {
  out->clear();
  const std::string_view text(name);
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c;
    if (!portable::DecodeUtf8(text, &pos, &c)) return false;
    portable::AppendUtf16(c, out);
  }
  return true;
}

bool Matches(const WString &name, const WString &pattern) {
  return portable::WildcardMatch(name.data(), name.data() + name.size(), pattern.data(),
                                 pattern.data() + pattern.size());
}

// The next entry of the stream that matches and is a folder or a regular file. Nothing here
// allocates, as nothing in the system's own search does: memory running out elsewhere in
// the process never shortens a listing.
bool ReadNext(Search *search, YDR_FIND_DATAW *data) {
  while (const dirent *entry = readdir(search->stream)) {
    if (std::strchr(entry->d_name, '\\') != nullptr) continue;
    if (!NameToWide(entry->d_name, &search->name) || !Matches(search->name, search->pattern)) continue;
    struct stat info;
    if (fstatat(dirfd(search->stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const bool link = S_ISLNK(info.st_mode);
    if (link && fstatat(dirfd(search->stream), entry->d_name, &info, 0) != 0) continue;
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = (S_ISDIR(info.st_mode) ? 0x10 : 0x20) | (link ? 0x400 : 0);
    if ((info.st_mode & S_IWUSR) == 0) data->dwFileAttributes |= 0x01;
    const std::uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    data->nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    data->nFileSizeLow = static_cast<std::uint32_t>(size);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(info.st_mtim.tv_sec) + 11644473600ull) * 10000000ull + info.st_mtim.tv_nsec / 100;
    data->ftLastWriteTime = {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
    data->ftCreationTime = data->ftLastWriteTime;
    data->ftLastAccessTime = data->ftLastWriteTime;
    std::memcpy(data->cFileName, search->name.c_str(), (search->name.size() + 1) * sizeof search->name[0]);
    return true;
  }
  return false;
}

// The open search `handle` is, or the process stops.
Search *LiveSearch(const char *function, void *handle) {
  auto *search = static_cast<Search *>(handle);
  if (handle == nullptr || handle == platform::InvalidHandleValue() || search->magic != Search::kMagic) {
    Refuse(function, "not an open search");
  }
  return search;
}

}  // namespace

}  // namespace ydr::strict

using namespace ydr;
using namespace ydr::strict;

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
  if (pattern == nullptr || data == nullptr) Refuse("YdrFindFirstFileW", "null pattern or record");
  try {
    const WString text(pattern, portable::WideLength(pattern));
    std::size_t name_start = text.size();
    while (name_start > 0 && !platform::IsSeparator(text[name_start - 1])) --name_start;
    auto search = std::make_unique<Search>();
    search->pattern = text.substr(name_start);
    if (search->pattern == WString{'*', '.', '*'}) search->pattern.resize(1);  // "*": dotless names too
    search->name.reserve(260);
    const std::string folder = platform::NativePathFromWide(text.substr(0, name_start).c_str());
    search->stream = search->pattern.empty() ? nullptr : opendir(folder.empty() ? "." : folder.c_str());
    if (search->stream == nullptr || !ReadNext(search.get(), data)) return platform::InvalidHandleValue();
    g_open_searches.fetch_add(1);
    return search.release();
  } catch (const std::bad_alloc &) {
    return platform::InvalidHandleValue();
  }
}

YDR_BL_API int YdrFindNextFileW(void *handle, YDR_FIND_DATAW *data) {
  Search *search = LiveSearch("YdrFindNextFileW", handle);
  if (data == nullptr) Refuse("YdrFindNextFileW", "null record");
  return ReadNext(search, data) ? 1 : 0;
}

YDR_BL_API int FindClose(void *handle) {
  Search *search = LiveSearch("FindClose", handle);
  search->magic = 0;
  delete search;
  g_open_searches.fetch_sub(1);
  return 1;
}
