// Directory search on POSIX, where the system has no search handles of its own: a search
// reads its whole folder when it starts and hands out the entries in a fixed order, "." and
// ".." first, then the rest by name in ordinal UTF-16 order, so that the same tree always
// gives the same archive. The handle is a record of this library's, closed by the FindClose
// it exports (the close call a Windows program finds in its system).
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/find_files.h"
#include "base/posix/folder_entries.h"
#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/guarded_call.h"

namespace ydr::base {

using portable::WChar;
using portable::WString;

namespace {

struct Search {
  static constexpr std::uint32_t kMagic = 0x59464e44;  // "YFND": a live search
  std::uint32_t magic = kMagic;
  std::vector<FolderEntry> entries;
  std::size_t next = 0;
};

// The search a handle names, or null for anything that is not a live one.
Search *SearchOf(void *handle) {
  if (handle == nullptr || handle == platform::InvalidHandleValue()) return nullptr;
  auto *search = static_cast<Search *>(handle);
  return search->magic == Search::kMagic ? search : nullptr;
}

// The entries of `folder` that match `pattern`, in the search's order.
bool ListFolder(const std::string &folder, const WString &pattern, std::vector<FolderEntry> *entries) {
  std::vector<FolderEntry> all;
  if (!ReadFolder(folder, &all)) return false;
  std::vector<FolderEntry> dots;
  for (FolderEntry &entry : all) {
    if (!MatchesSearchPattern(entry.name, pattern)) continue;
    const bool is_dot = entry.name == WString{'.'} || entry.name == WString{'.', '.'};
    (is_dot ? dots : *entries).push_back(std::move(entry));
  }
  const auto by_name = [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; };
  std::sort(entries->begin(), entries->end(), by_name);
  std::sort(dots.begin(), dots.end(), by_name);
  entries->insert(entries->begin(), std::make_move_iterator(dots.begin()), std::make_move_iterator(dots.end()));
  return true;
}

void Fill(const FolderEntry &entry, YDR_FIND_DATAW *data) {
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

}  // namespace ydr::base

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
  return ydr::portable::GuardedCall(ydr::platform::InvalidHandleValue(), [&]() -> void * {
    using namespace ydr;
    const auto failure = platform::InvalidHandleValue();
    const std::size_t length = portable::WideLength(pattern);
    if (length == 0 || data == nullptr) return failure;

    std::size_t name_start = length;
    while (name_start > 0 && !platform::IsSeparator(pattern[name_start - 1])) --name_start;
    const portable::WString name_pattern(pattern + name_start, length - name_start);
    if (name_pattern.empty()) return failure;
    std::string folder = platform::NativePathFromWide(portable::WString(pattern, name_start).c_str());
    while (folder.size() > 1 && platform::IsSeparator(folder.back()) && folder[folder.size() - 2] != ':') {
      folder.pop_back();
    }

    // Owned here until handed out: listing a folder allocates, and a refused allocation
    // leaves through GuardedCall.
    std::unique_ptr<base::Search> search(new (std::nothrow) base::Search);
    if (search == nullptr) return failure;
    if (!base::ListFolder(folder, name_pattern, &search->entries) || search->entries.empty()) return failure;
    base::Fill(search->entries[0], data);
    search->next = 1;
    return search.release();
  });
}

YDR_BL_API int YdrFindNextFileW(void *handle, YDR_FIND_DATAW *data) {
  using namespace ydr;
  base::Search *search = base::SearchOf(handle);
  if (search == nullptr || data == nullptr || search->next >= search->entries.size()) return 0;
  base::Fill(search->entries[search->next++], data);
  return 1;
}

YDR_BL_API int FindClose(void *handle) {
  using namespace ydr;
  base::Search *search = base::SearchOf(handle);
  if (search == nullptr) return 0;
  search->magic = 0;  // a second close of the same handle is refused while the memory lasts
  delete search;
  return 1;
}
