#include "zip/member_path.h"

#include <algorithm>

#include "portable/utf16.h"

namespace ydr::zip {
namespace {

bool IsSeparator(unsigned short unit) { return unit == '\\' || unit == '/'; }

}  // namespace

std::vector<std::string> FoldedMemberPath(const Name &name, bool flat) {
  std::size_t start = 0;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    start = 2;
  }
  std::vector<std::string> components;
  Name current;
  for (std::size_t i = start; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) {
      current.push_back(name[i]);
      continue;
    }
    if (current.size() == 2 && current[0] == '.' && current[1] == '.') {
      if (!components.empty()) components.pop_back();
    } else if (!current.empty() && !(current.size() == 1 && current[0] == '.')) {
      components.push_back(portable::Utf8FromWide(current));
    }
    current.clear();
  }
  if (flat && components.size() > 1) components.erase(components.begin(), components.end() - 1);
  return components;
}

Name PatternForName(const Name &pattern, const Name &name) {
  const auto has_backslash = [](const Name &text) { return std::find(text.begin(), text.end(), '\\') != text.end(); };
  if (!has_backslash(pattern) && has_backslash(name)) return Name{'*', '\\'} + pattern;
  return pattern;
}

}  // namespace ydr::zip
