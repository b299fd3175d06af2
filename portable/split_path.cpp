#include "portable/split_path.h"

namespace ydr::portable {
namespace {

template <class Char>
bool IsSep(Char c) {
  return c == Char('\\') || c == Char('/');
}

template <class Char>
PathParts<Char> Split(std::basic_string_view<Char> path) {
  PathParts<Char> parts;
  if (path.size() >= 2 && path[1] == Char(':')) {
    parts.drive.assign(path.substr(0, 2));
    path.remove_prefix(2);
  }
  std::size_t last_sep = std::basic_string_view<Char>::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsSep(path[i])) last_sep = i;
  }
  if (last_sep != std::basic_string_view<Char>::npos) {
    parts.dir.assign(path.substr(0, last_sep + 1));
    path.remove_prefix(last_sep + 1);
  }
  const std::size_t dot = path.rfind(Char('.'));
  if (dot != std::basic_string_view<Char>::npos) {
    parts.ext.assign(path.substr(dot));
    path = path.substr(0, dot);
  }
  parts.fname.assign(path);
  return parts;
}

}  // namespace

PathParts<char> SplitPath(std::string_view path) { return Split(path); }
PathParts<WChar> SplitPath(std::basic_string_view<WChar> path) { return Split(path); }

std::string MakePath(std::string_view drive, std::string_view dir, std::string_view fname, std::string_view ext) {
  std::string path;
  if (!drive.empty()) {
    path.push_back(drive[0]);
    path.push_back(':');
  }
  if (!dir.empty()) {
    path.append(dir);
    if (!IsSep(dir.back())) path.push_back('\\');
  }
  path.append(fname);
  if (!ext.empty()) {
    if (ext[0] != '.') path.push_back('.');
    path.append(ext);
  }
  return path;
}

}  // namespace ydr::portable
