// Absolute paths on POSIX: the path folded against the current directory (getcwd).
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/path_absolute.h"
#include "platform/files.h"

namespace ydr::base {

std::optional<portable::WString> CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return portable::WideFromUtf8(buffer.data());
}

std::optional<portable::WString> SystemAbsolutePath(const portable::WChar *path, std::size_t length) {
  const std::size_t root = platform::HasDrive(path, length) ? 2 : 0;
  std::optional<portable::WString> cwd;
  if (root == length || !platform::IsSeparator(path[root])) {  // relative: needs the current folder
    cwd = CurrentDirectory();
    if (!cwd) return std::nullopt;
  }
  return FoldAbsolutePath(path, length, cwd ? *cwd : portable::WString());
}

}  // namespace ydr::base
