// What a folder tree holds, taken whole, so a test can say exactly what a run changed:
// each path's kind, mode and bytes (a link's target; never followed).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace ydr::test {

struct TreeEntry {
  char kind = '?';  // 'f' file, 'd' folder, 'l' link, 'p' pipe, '?' anything else
  unsigned mode = 0;
  std::string bytes;  // a file's content, a link's target

  bool operator==(const TreeEntry &other) const {
    return std::tie(kind, mode, bytes) == std::tie(other.kind, other.mode, other.bytes);
  }
};

// Relative path ('/'-separated) to entry; the root itself is left out. A folder that cannot
// be read is listed without what it holds.
using Tree = std::map<std::string, TreeEntry>;
Tree TakeTree(const std::string &root);

// One line per path of `after` neither as `before` nor as a complete run leaves it, unless
// `may_remain` excuses it, and per path removed while the complete result is not whole.
std::vector<std::string> Departures(const Tree &before, const Tree &complete, const Tree &after,
                                    const std::function<bool(const std::string &)> &may_remain);

std::string Describe(const TreeEntry &entry);

}  // namespace ydr::test
