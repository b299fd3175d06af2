// Directory search. A search reads its whole folder when it starts and hands out the
// entries in a fixed order: "." and "..", then the rest by name in ordinal UTF-16 order.
// Windows lists in the file system's order, which on its usual file systems is by name;
// fixing the order here means the same tree always gives the same archive. Which entries a
// folder has is the system's part (base/<system>/list_folder.cpp).
#include "base/find_files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/list_folder.h"
#include "base/path_absolute.h"
#include "base/ydr_base.h"
#include "platform/guarded_call.h"
#include "platform/native_path.h"
#include "platform/wildcard.h"

namespace ydr::base {

using platform::WChar;
using platform::WString;

namespace {

struct Search : platform::FindHandleHeader {
  std::vector<FolderEntry> entries;
  std::size_t next = 0;
};

void ReleaseSearch(platform::FindHandleHeader *handle) { delete static_cast<Search *>(handle); }

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

bool MatchesSearchPattern(const WString &name, const WString &pattern) {
  if (pattern == WString{'*'} || pattern == WString{'*', '.', '*'}) return true;
  return platform::WildcardMatch(name.data(), name.data() + name.size(), pattern.data(),
                                 pattern.data() + pattern.size());
}

}  // namespace ydr::base

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
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
    while (folder.size() > 1 && platform::IsSeparator(folder.back()) && folder[folder.size() - 2] != ':') {
      folder.pop_back();
    }

    // Owned here until handed out: listing a folder allocates, and a refused allocation
    // leaves through GuardedCall.
    std::unique_ptr<base::Search> search(new (std::nothrow) base::Search);
    if (search == nullptr) return failure;
    search->magic = platform::FindHandleHeader::kMagic;
    search->release = base::ReleaseSearch;
    if (!base::ListFolder(folder, name_pattern, &search->entries) || search->entries.empty()) return failure;
    base::Fill(search->entries[0], data);
    search->next = 1;
    return search.release();
  });
}

YDR_BL_API int YdrFindNextFileW(void *handle, YDR_FIND_DATAW *data) {
  using namespace ydr;
  if (handle == nullptr || handle == platform::InvalidHandleValue() || data == nullptr) return 0;
  auto *search = static_cast<base::Search *>(static_cast<platform::FindHandleHeader *>(handle));
  if (search->magic != platform::FindHandleHeader::kMagic || search->next >= search->entries.size()) return 0;
  base::Fill(search->entries[search->next++], data);
  return 1;
}
