#include <unistd.h>

#include "platform/module_file_name.h"

namespace ydr::platform {

std::string ExecutableFileName() {
  char buffer[kMaxPath];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace ydr::platform
