#include "tests/support/file_tree.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace ydr::test {

Tree TakeTree(const std::string &root) {
  namespace fs = std::filesystem;
  Tree tree;
  std::error_code error;
  const fs::path top = fs::u8path(root);
  for (fs::recursive_directory_iterator it(top, fs::directory_options::skip_permission_denied, error), end; it != end;
       it.increment(error)) {
    const fs::file_status status = it->symlink_status(error);
    TreeEntry &entry = tree[it->path().lexically_relative(top).generic_u8string()];
    entry.mode = static_cast<unsigned>(status.permissions()) & 07777;
    switch (status.type()) {
      case fs::file_type::regular: entry = {'f', entry.mode, ReadFile(it->path().u8string())}; break;
      case fs::file_type::directory: entry.kind = 'd'; break;
      case fs::file_type::symlink: entry = {'l', 0, fs::read_symlink(it->path(), error).u8string()}; break;
      case fs::file_type::fifo: entry.kind = 'p'; break;
      default: break;
    }
  }
  return tree;
}

std::vector<std::string> Departures(const Tree &before, const Tree &complete, const Tree &after,
                                    const std::function<bool(const std::string &)> &may_remain) {
  std::vector<std::string> problems;
  for (const auto &[path, entry] : after) {
    const auto was = before.find(path), should = complete.find(path);
    const bool new_path = was == before.end() && should == complete.end();
    if ((was != before.end() && was->second == entry) || (should != complete.end() && should->second == entry) ||
        (new_path && may_remain(path))) {
      continue;
    }
    problems.push_back("'" + path + "' is " + Describe(entry) +
                       (was != before.end() ? "; it was " + Describe(was->second) : "") +
                       (should != complete.end() ? "; a complete run leaves " + Describe(should->second) : "") +
                       (new_path ? ", which no complete run leaves" : ""));
  }
  const bool removed =
      std::any_of(before.begin(), before.end(), [&](const auto &e) { return after.count(e.first) == 0; });
  for (const auto &[path, entry] : complete) {
    const auto now = after.find(path);
    if (removed && (now == after.end() || !(now->second == entry))) {
      problems.push_back("something that was there is gone while '" + path + "' is not as a complete run leaves it");
    }
  }
  return problems;
}

std::string Describe(const TreeEntry &entry) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", entry.mode);
  switch (entry.kind) {
    case 'f': return "a file of " + std::to_string(entry.bytes.size()) + " bytes (mode " + mode + ")";
    case 'd': return std::string("a folder (mode ") + mode + ")";
    case 'l': return "a link to '" + entry.bytes + "'";
    case 'p': return "a pipe";
    default: return "something else";
  }
}

}  // namespace ydr::test
