// Helpers for the stream-compression tests: whole-buffer compression and decompression
// through the exports, zlib as the peer, and a bit writer for building deflate data by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/memory_streams.h"
#include "tests/support/zlib_peer.h"
#include "ydr/gz.h"

namespace ydr::test {

using Bytes = std::string;

// Compresses `data` in writes of `chunk` bytes (0: one write).
Bytes GzCompress(const Bytes &data, int level = 0, std::size_t chunk = 0);
// The 4096-byte pieces the write callback received, in order.
std::vector<std::size_t> GzWritePieces(const Bytes &data, int level = 0);

struct GzReadResult {
  Bytes data;
  int last_read = 0;   // the result that ended reading: 0 or -1
  int close = 0;       // YdrGZCloseRead's result
  int read_calls = 0;  // calls of the read callback
};
// Decompresses `stream`, reading `read_size` bytes per YdrGZRead, the callback handing out
// at most `feed_size` bytes per call (0: as asked).
GzReadResult GzDecompress(const Bytes &stream, int level = 0, int read_size = 65536, int feed_size = 0);

// Deflate data built by hand: fields least significant bit first, Huffman codes most
// significant bit first, as the format packs them.
class BitStream {
 public:
  void Bits(std::uint32_t value, int count);
  void Code(std::uint32_t code, int length);
  void AlignToByte();
  void Byte(std::uint8_t b) { bytes_.push_back(static_cast<char>(b)); }
  Bytes Finish();  // pads the last byte with zeros

 private:
  Bytes bytes_;
  std::uint32_t bit_buffer_ = 0;
  int bit_count_ = 0;
};

// Test data: deterministic text-like bytes (words from a small vocabulary) and binary-like
// bytes (runs, small integers, noise).
Bytes TextLike(std::size_t size, std::uint32_t seed);
Bytes BinaryLike(std::size_t size, std::uint32_t seed);

}  // namespace ydr::test
