// The registry file parser on arbitrary text; the first line names the key to look up.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  const std::size_t newline = text.find('\n');
  const std::string_view key = text.substr(0, newline);
  const auto values = ydr::platform::ParseRegistryKey(text, key);
  if (values) {
    for (const auto &[name, value] : *values) {
      if (name.empty() || name.find('\n') != std::string::npos || value.find('\n') != std::string::npos) std::abort();
    }
  }
  return 0;
}
