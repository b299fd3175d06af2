// What a folder tree holds, taken whole, so a test can say exactly what a run changed:
// each path's kind, mode and bytes (a link's target; never followed).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ydr::test {

struct TreeEntry {
  char kind = '?';  // 'f' file, 'd' folder, 'l' link, 'p' pipe, '?' anything else
  unsigned mode = 0;
  std::string bytes;  // a file's content, a link's target

  bool operator==(const TreeEntry &other) const {
    return kind == other.kind && mode == other.mode && bytes == other.bytes;
  }
  bool operator!=(const TreeEntry &other) const { return !(*this == other); }
};

// Relative path ('/'-separated) to entry; the root itself is left out. A folder that cannot
// be read is listed with what could be read of it.
using Tree = std::map<std::string, TreeEntry>;
Tree TakeTree(const std::string &root);

// What a run may leave: every path as it was before (`before`) or as a complete run leaves it
// (`complete`); a path removed only when the whole complete result is there. Returns one line
// per departure, empty when the tree keeps to that. `may_remain(path)` excuses a path found
// in neither (a temporary a killed process could not remove).
template <typename Excuse>
std::vector<std::string> Departures(const Tree &before, const Tree &complete, const Tree &after, Excuse may_remain);

std::string Describe(const TreeEntry &entry);

template <typename Excuse>
std::vector<std::string> Departures(const Tree &before, const Tree &complete, const Tree &after, Excuse may_remain) {
  std::vector<std::string> problems;
  for (const auto &[path, entry] : after) {
    const auto was = before.find(path);
    const auto should = complete.find(path);
    if (was != before.end() && was->second == entry) continue;
    if (should != complete.end() && should->second == entry) continue;
    if (was == before.end() && should == complete.end() && may_remain(path)) continue;
    std::string line = "'" + path + "' is " + Describe(entry);
    if (was != before.end()) line += "; it was " + Describe(was->second);
    if (should != complete.end()) line += "; a complete run leaves " + Describe(should->second);
    if (was == before.end() && should == complete.end()) line += ", which no complete run leaves";
    problems.push_back(line);
  }
  bool removed = false;
  for (const auto &[path, entry] : before) {
    if (after.count(path) == 0) removed = true;
  }
  if (removed) {
    for (const auto &[path, entry] : complete) {
      const auto now = after.find(path);
      if (now == after.end() || now->second != entry) {
        problems.push_back("something that was there is gone while '" + path +
                           "' is not yet as a complete run leaves it");
      }
    }
  }
  return problems;
}

}  // namespace ydr::test
