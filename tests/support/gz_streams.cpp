#include "tests/support/gz_streams.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace ydr::test {
Bytes GzCompress(const Bytes &data, int level, std::size_t chunk) {
  Bytes out;
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(AppendToBytes, &out, level);
  if (chunk == 0) chunk = data.size() == 0 ? 1 : data.size();
  for (std::size_t i = 0; i < data.size(); i += chunk) {
    YdrGZWrite(stream, data.data() + i, static_cast<int>(std::min(chunk, data.size() - i)));
  }
  YdrGZCloseWrite(stream);
  return out;
}

std::vector<std::size_t> GzWritePieces(const Bytes &data, int level) {
  std::vector<std::size_t> pieces;
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(
      [](YDRGZ, void *user, const void *, int count) {
        static_cast<std::vector<std::size_t> *>(user)->push_back(static_cast<std::size_t>(count));
        return count;
      },
      &pieces, level);
  YdrGZWrite(stream, data.data(), static_cast<int>(data.size()));
  YdrGZCloseWrite(stream);
  return pieces;
}

GzReadResult GzDecompress(const Bytes &stream, int level, int read_size, int feed_size) {
  GzReadResult result;
  MemorySource source(&stream, static_cast<std::size_t>(feed_size));
  YDRGZ handle = YdrGZOpenReadOfCustomMem(ReadFromMemory, &source, level);
  std::vector<char> buffer(static_cast<std::size_t>(read_size));
  int got;
  while ((got = YdrGZRead(handle, buffer.data(), read_size)) > 0)
    result.data.append(buffer.data(), static_cast<std::size_t>(got));
  result.last_read = got;
  result.close = YdrGZCloseRead(handle);
  result.read_calls = source.calls;
  return result;
}

void BitStream::Bits(std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    bit_buffer_ |= ((value >> i) & 1u) << bit_count_;
    if (++bit_count_ == 8) {
      bytes_.push_back(static_cast<char>(bit_buffer_));
      bit_buffer_ = 0;
      bit_count_ = 0;
    }
  }
}

void BitStream::Code(std::uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1u, 1);
}

void BitStream::AlignToByte() {
  if (bit_count_ > 0) Bits(0, 8 - bit_count_);
}

Bytes BitStream::Finish() {
  AlignToByte();
  return bytes_;
}

Bytes TextLike(std::size_t size, std::uint32_t seed) {
  static const char *const kWords[] = {"the",  "stream", "window", "match",   "block", "code",    "length",
                                       "of",   "and",    "a",      "deflate", "tree",  "literal", "distance",
                                       "huff", "man",    "byte",   "bits",    "to",    "in"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    out += kWords[rng() % 20];
    out += (rng() % 11 == 0) ? ".\n" : " ";
  }
  out.resize(size);
  return out;
}

Bytes BinaryLike(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0: out.append(rng() % 40, '\0'); break;
      case 1:
        for (int i = 0, n = static_cast<int>(rng() % 16); i < n; ++i) {
          const std::uint32_t v = rng() % 300;
          out.append(reinterpret_cast<const char *>(&v), 4);
        }
        break;
      case 2:
        for (int i = 0, n = static_cast<int>(rng() % 30); i < n; ++i) out.push_back(static_cast<char>(rng()));
        break;
      default:
        if (out.size() > 64) {
          // Drawn one after the other: the order of a call's arguments is the compiler's choice.
          const std::size_t length = rng() % 20;
          const std::size_t back = rng() % 60;
          out += out.substr(out.size() - 1 - back, length);
        }
    }
  }
  out.resize(size);
  return out;
}

}  // namespace ydr::test
