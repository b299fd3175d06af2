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
  if (trailer_offset != nullptr) *trailer_offset = stream.size() - z.avail_in;
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

Bytes Trailer(const Bytes &data) {
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
  const auto length = static_cast<std::uint32_t>(data.size());
  Bytes t;
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<char>(crc >> (8 * i)));
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<char>(length >> (8 * i)));
  return t;
}

}  // namespace ydr::test
