// The stream reader on arbitrary bytes: the first three choose the memory level, the read
// size and how many bytes the source hands out per call; the rest is the stream. Every
// result stays within what was asked, and reading always ends.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/support/memory_streams.h"
#include "ydr/gz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 3) return 0;
  const int level = data[0] % 3;
  static constexpr int kReadSizes[8] = {1, 2, 7, 100, 1000, 4096, 5000, 65536};
  const int read_size = kReadSizes[data[1] % 8];
  ydr::test::MemorySource source(reinterpret_cast<const char *>(data + 3), size - 3, data[2] == 0 ? 4096 : data[2]);
  YDRGZ reader = YdrGZOpenReadOfCustomMem(ydr::test::ReadFromMemory, &source, level);
  if (reader == nullptr) return 0;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(read_size));
  std::size_t total = 0;
  int got;
  while ((got = YdrGZRead(reader, buffer.data(), read_size)) > 0) {
    if (got > read_size) std::abort();
    total += static_cast<std::size_t>(got);
    if (total > (std::size_t{1} << 30)) std::abort();  // deflate expands at most 1032 to 1
  }
  if (got < -1) std::abort();
  if (YdrGZRead(reader, buffer.data(), read_size) > 0 && got == 0) std::abort();  // ended means ended
  const int closed = YdrGZCloseRead(reader);
  if (closed < -1) std::abort();
  return 0;
}
