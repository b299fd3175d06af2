#include "zip/folder_walk.h"

#include <algorithm>

namespace ydr::zip {
namespace {

bool IsDotEntry(const Name &name) { return name == Name{'.'} || name == Name{'.', '.'}; }

}  // namespace

bool FolderWalk::IsArchive(const platform::FileIdentity &id) const {
  return std::find(archive_.begin(), archive_.end(), id) != archive_.end();
}

long FolderWalk::Walk(WalkPolicy &policy, const Name &name, const WalkEntry &folder) {
  std::vector<WalkEntry> entries;
  if (!policy.List(name, folder, &entries)) return -1;
  if (folder.identity) walked_.insert(*folder.identity);
  long count = 0;
  for (const WalkEntry &entry : entries) {
    if (IsDotEntry(entry.name)) continue;
    const bool is_folder = entry.kind == WalkEntry::Kind::kFolder;
    Name path = name + entry.name;
    if (is_folder) path.push_back('\\');
    if (entry.identity) {
      if (is_folder && walked_.count(*entry.identity) != 0) {
        policy.LeftOut(path, entry, WalkRule::kFolderWalked);
        continue;
      }
      if (!is_folder && IsArchive(*entry.identity)) {
        policy.LeftOut(path, entry, WalkRule::kArchive);
        continue;
      }
    }
    if (!policy.Admit(path, entry)) continue;
    const bool walkable = is_folder && path.size() <= kMaxNameUnits;
    const std::size_t index = policy.Append(path, entry, walkable ? kFlagFolder : kFlagListed);
    ++count;
    if (walkable && Walk(policy, path, entry) < 0) policy.SearchFailed(index);
  }
  return count;
}

}  // namespace ydr::zip
