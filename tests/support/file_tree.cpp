#include "tests/support/file_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace ydr::test {

namespace {

std::string Contents(const std::string &path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return "<unreadable>";
  char chunk[1 << 14];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<std::size_t>(got));
  close(fd);
  return bytes;
}

void Walk(const std::string &root, const std::string &relative, Tree *tree) {
  const std::string folder = relative.empty() ? root : root + "/" + relative;
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent *entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = relative.empty() ? name : relative + "/" + name;
    const std::string full = root + "/" + path;
    struct stat info {};
    if (lstat(full.c_str(), &info) != 0) continue;
    TreeEntry item;
    item.mode = info.st_mode & 07777;
    if (S_ISREG(info.st_mode)) {
      item.kind = 'f';
      item.bytes = Contents(full);
    } else if (S_ISDIR(info.st_mode)) {
      item.kind = 'd';
    } else if (S_ISLNK(info.st_mode)) {
      item.kind = 'l';
      item.mode = 0;  // a link's own mode means nothing
      char target[4096];
      const ssize_t n = readlink(full.c_str(), target, sizeof target);
      if (n > 0) item.bytes.assign(target, static_cast<std::size_t>(n));
    } else if (S_ISFIFO(info.st_mode)) {
      item.kind = 'p';
    }
    (*tree)[path] = item;
    if (item.kind == 'd') Walk(root, path, tree);
  }
  closedir(dir);
}

}  // namespace

std::vector<std::string> Departures(const Tree &before, const Tree &complete, const Tree &after,
                                    const std::function<bool(const std::string &)> &may_remain) {
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
  const bool removed =
      std::any_of(before.begin(), before.end(), [&](const auto &e) { return after.count(e.first) == 0; });
  for (const auto &[path, entry] : complete) {
    const auto now = after.find(path);
    if (removed && (now == after.end() || now->second != entry)) {
      problems.push_back("something that was there is gone while '" + path +
                         "' is not yet as a complete run leaves it");
    }
  }
  return problems;
}

Tree TakeTree(const std::string &root) {
  Tree tree;
  Walk(root, "", &tree);
  return tree;
}

std::string Describe(const TreeEntry &entry) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", entry.mode);
  switch (entry.kind) {
    case 'f': {
      std::string shown = entry.bytes.size() <= 24 ? entry.bytes : entry.bytes.substr(0, 24) + "...";
      for (char &c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '.';
      }
      return "a file of " + std::to_string(entry.bytes.size()) + " bytes (mode " + mode + ") \"" + shown + "\"";
    }
    case 'd': return std::string("a folder (mode ") + mode + ")";
    case 'l': return "a link to '" + entry.bytes + "'";
    case 'p': return "a pipe";
    default: return "something else";
  }
}

}  // namespace ydr::test
