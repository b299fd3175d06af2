#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/path_absolute.h"

namespace ydr::base {

std::optional<platform::WString> CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return platform::WideFromUtf8(buffer.data());
}

}  // namespace ydr::base
