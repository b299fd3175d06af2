// zlib as the stream compressor's peer, and the stream's trailer (zlib only, no library).
#pragma once

#include <cstdint>
#include <string>

namespace ydr::test {

using Bytes = std::string;

// zlib's raw deflate of `data` with our trailer appended.
Bytes ZlibStream(const Bytes &data, int level, int window_bits, int strategy = 0);
Bytes Trailer(const Bytes &data);  // CRC-32 and length, least significant first

}  // namespace ydr::test
