// Text conversion both ways with arbitrary text and destination sizes: the destination is
// never written past its size, and the result never exceeds it (a size of 0 asks for the
// size needed, and writes nothing).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/ydr_base.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  static constexpr unsigned int kCodePages[] = {65001, 949, 1252, 932};
  const unsigned int code_page = kCodePages[data[0] % 4];
  const int dst_size = data[1];
  data += 2;
  size -= 2;

  std::vector<char> narrow(reinterpret_cast<const char *>(data), reinterpret_cast<const char *>(data) + size);
  narrow.push_back('\0');
  std::vector<unsigned short> wide_out(static_cast<std::size_t>(dst_size) + 1, 0xABCD);
  const int n = YdrAnsiToUnicode(code_page, 0, narrow.data(), -1, wide_out.data(), dst_size, 0);
  if (n < 0 || (dst_size > 0 && n > dst_size) || wide_out[static_cast<std::size_t>(dst_size)] != 0xABCD) std::abort();

  std::vector<unsigned short> wide(size / 2 + 1, 0);
  if (size >= 2) std::memcpy(wide.data(), data, (size / 2) * 2);
  std::vector<char> narrow_out(static_cast<std::size_t>(dst_size) + 1, '\x5A');
  const int m = YdrUnicodeToAnsi(code_page, 0, wide.data(), -1, narrow_out.data(), dst_size, 0);
  if (m < 0 || (dst_size > 0 && m > dst_size) || narrow_out[static_cast<std::size_t>(dst_size)] != '\x5A') std::abort();
  return 0;
}
