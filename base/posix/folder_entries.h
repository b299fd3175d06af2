// Reading one folder for a search: every entry, before the search orders and filters them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "portable/utf16.h"

namespace ydr::base {

struct FolderEntry {
  portable::WString name;
  std::uint32_t attributes;  // FILE_ATTRIBUTE_*
  std::uint64_t size;
  std::uint64_t write_time;  // 100 ns units since 1601
};

// Every entry of `folder` (a native path; empty: the current folder) that a search may
// list, "." and ".." included where the folder has them (a file system's root has none),
// in any order. False when the folder cannot be read.
bool ReadFolder(const std::string &folder, std::vector<FolderEntry> *entries);

}  // namespace ydr::base
