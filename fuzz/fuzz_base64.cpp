// Base64 decoding of arbitrary text into a buffer exactly as long as the text.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::vector<std::uint8_t> out(size);
  const long n = ydr::base::DecodeBase64(reinterpret_cast<const char *>(data), size, out.data());
  if (n < -1 || n > static_cast<long>(size)) std::abort();
  return 0;
}
