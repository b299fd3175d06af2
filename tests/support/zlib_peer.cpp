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

Bytes Trailer(const Bytes &data) {
  const std::uint32_t fields[] = {static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(data.data()),
                                                                   static_cast<uInt>(data.size()))),
                                  static_cast<std::uint32_t>(data.size())};
  Bytes t;
  for (int i = 0; i < 8; ++i) t.push_back(static_cast<char>(fields[i / 4] >> (8 * (i % 4))));
  return t;
}

}  // namespace ydr::test
