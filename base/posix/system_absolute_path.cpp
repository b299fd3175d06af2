// Absolute paths on POSIX: the path folded against the current directory (getcwd).
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/path_absolute.h"
#include "platform/native_path.h"

namespace ydr::base {

std::optional<platform::WString> CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return platform::WideFromUtf8(buffer.data());
}

std::optional<platform::WString> SystemAbsolutePath(const platform::WChar *path, std::size_t length) {
  const std::size_t root = platform::HasDrive(path, length) ? 2 : 0;
  std::optional<platform::WString> cwd;
  if (root == length || !platform::IsSeparator(path[root])) {  // relative: needs the current folder
    cwd = CurrentDirectory();
    if (!cwd) return std::nullopt;
  }
  return FoldAbsolutePath(path, length, cwd ? *cwd : platform::WString());
}

}  // namespace ydr::base
