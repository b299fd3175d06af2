// Path folding on arbitrary UTF-16: the result is absolute and holds no "." or ".."
// component and no empty one, whatever the input spells.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/path_absolute.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using ydr::portable::WChar;
  using ydr::portable::WString;
  std::vector<WChar> path(size / 2);
  if (!path.empty()) std::memcpy(path.data(), data, path.size() * 2);
  const WString cwd = {'/', 'h', 'o', 'm', 'e', '/', 'u'};
  const auto folded = ydr::base::FoldAbsolutePath(path.data(), path.size(), cwd);
  if (!folded) {
    if (!path.empty()) std::abort();
    return 0;
  }
  std::size_t start = 0;
  if (folded->size() >= 2 && (*folded)[0] != '/' && (*folded)[1] == ':') start = 2;  // a kept drive
  if (folded->size() <= start || (*folded)[start] != '/') std::abort();
  // Every component between separators is a real name.
  std::size_t begin = start + 1;
  for (std::size_t i = begin; i <= folded->size(); ++i) {
    if (i < folded->size() && (*folded)[i] != '/') continue;
    const WString part = folded->substr(begin, i - begin);
    const bool last = i >= folded->size() - 1;
    if ((part.empty() && !last) || part == WString{'.'} || part == WString{'.', '.'} ||
        part.find('\\') != WString::npos) {
      std::abort();
    }
    begin = i + 1;
  }
  return 0;
}
