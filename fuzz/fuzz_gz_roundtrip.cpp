// Write then read: arbitrary data, memory level and write sizes (from the first bytes).
// What comes back is what went in, zlib agrees the stream is valid deflate with the right
// trailer, and the stream reads back at every larger memory level.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/memory_streams.h"
#include "ydr/gz.h"

namespace {

using ydr::test::AppendToBytes;
using ydr::test::MemorySource;
using ydr::test::ReadFromMemory;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4) return 0;
  const int level = data[0] % 3;
  const std::size_t splits[3] = {1u + data[1], 1u + data[2] * 37u, 1u + data[3] * 1021u};
  const std::string input(reinterpret_cast<const char *>(data + 4), size - 4);

  std::string stream;
  YDRGZ writer = YdrGZOpenWriteOfCustomMem(AppendToBytes, &stream, level);
  for (std::size_t i = 0, k = 0; i < input.size(); ++k) {
    const std::size_t n = std::min(splits[k % 3], input.size() - i);
    if (YdrGZWrite(writer, input.data() + i, static_cast<int>(n)) != static_cast<int>(n)) std::abort();
    i += n;
  }
  if (YdrGZCloseWrite(writer) != 0) std::abort();

  // zlib's verdict on the deflate data and its trailer.
  z_stream z{};
  inflateInit2(&z, -15);
  std::string decoded(input.size() + 1, '\0');
  z.next_in = reinterpret_cast<Bytef *>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef *>(decoded.data());
  z.avail_out = static_cast<uInt>(decoded.size());
  if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != input.size() || z.avail_in != 8) std::abort();
  inflateEnd(&z);
  if (decoded.compare(0, input.size(), input) != 0) std::abort();
  const auto crc = static_cast<std::uint32_t>(crc32(0, data + 4, static_cast<uInt>(input.size())));
  std::uint32_t stored;
  std::memcpy(&stored, stream.data() + stream.size() - 8, 4);
  if (stored != crc) std::abort();

  for (int read_level = level; read_level <= 2; ++read_level) {
    MemorySource source(&stream);
    YDRGZ reader = YdrGZOpenReadOfCustomMem(ReadFromMemory, &source, read_level);
    std::string out;
    char buffer[3000];
    int got;
    while ((got = YdrGZRead(reader, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(got));
    if (got != 0 || out != input || YdrGZCloseRead(reader) != 0) std::abort();
  }
  return 0;
}
