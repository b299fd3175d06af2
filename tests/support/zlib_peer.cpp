#include "tests/support/zlib_peer.h"

#include <zlib.h>

namespace ydr::test {

Bytes ZlibStream(const Bytes &data, int level, int window_bits, int strategy) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -window_bits, 8, strategy);
  Bytes out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out + Trailer(data);
}

bool ZlibInflate(const Bytes &stream, Bytes *out, std::size_t *trailer_offset) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  char buffer[65536];
  int status;
  do {
    z.next_out = reinterpret_cast<Bytef *>(buffer);
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out->append(buffer, sizeof buffer - z.avail_out);
  } while (status == Z_OK);
  *trailer_offset = stream.size() - z.avail_in;
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

std::vector<BlockHeader> WalkBlocks(const Bytes &stream) {
  std::vector<BlockHeader> blocks;
  z_stream z{};
  inflateInit2(&z, -15);
  const auto *data = reinterpret_cast<const unsigned char *>(stream.data());
  z.next_in = const_cast<Bytef *>(data);
  z.avail_in = static_cast<uInt>(stream.size());
  std::vector<unsigned char> sink(1 << 20);
  bool at_boundary = true;
  for (;;) {
    if (at_boundary) {
      // The next block's header starts at the first unused bit.
      const std::size_t consumed = stream.size() - z.avail_in;
      const int unused = z.data_type & 7;
      const std::size_t bit = consumed * 8 - static_cast<std::size_t>(unused);
      const auto bit_at = [&](std::size_t i) { return (data[i / 8] >> (i % 8)) & 1; };
      if (bit / 8 >= stream.size()) break;
      blocks.push_back({bit_at(bit) != 0, bit_at(bit + 1) | bit_at(bit + 2) << 1});
    }
    z.next_out = sink.data();
    z.avail_out = static_cast<uInt>(sink.size());
    const int status = inflate(&z, Z_BLOCK);
    if (status == Z_STREAM_END || (status != Z_OK && status != Z_BUF_ERROR)) break;
    at_boundary = (z.data_type & 128) != 0 && (z.data_type & 64) == 0;
  }
  inflateEnd(&z);
  return blocks;
}

std::uint32_t ZlibCrc(const Bytes &data) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
}

Bytes Trailer(const Bytes &data) {
  const std::uint32_t crc = ZlibCrc(data);
  const auto length = static_cast<std::uint32_t>(data.size());
  Bytes t;
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<char>(crc >> (8 * i)));
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<char>(length >> (8 * i)));
  return t;
}

}  // namespace ydr::test
