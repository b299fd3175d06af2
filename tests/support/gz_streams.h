// Helpers for the stream-compression tests: whole-buffer compression, deflate data built by hand,
// deterministic test data.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/memory_streams.h"
#include "tests/support/zlib_peer.h"
#include "ydr/gz.h"

namespace ydr::test {

// Compresses `data` in writes of `chunk` bytes (0: one write).
inline Bytes GzCompress(const Bytes &data, int level = 0, std::size_t chunk = 0) {
  Bytes out;
  YDRGZ stream = YdrGZOpenWriteOfCustomMem(AppendToBytes, &out, level);
  if (chunk == 0) chunk = std::max<std::size_t>(data.size(), 1);
  for (std::size_t i = 0; i < data.size(); i += chunk)
    YdrGZWrite(stream, data.data() + i, static_cast<int>(std::min(chunk, data.size() - i)));
  YdrGZCloseWrite(stream);
  return out;
}

// Deflate data by hand: fields least significant bit first, Huffman codes most significant first.
class BitStream {
 public:
  BitStream &Bits(std::uint32_t value, int count) {  // zeros past the value's 32 bits
    for (int i = 0; i < count; ++i) bits_.push_back(i < 32 && ((value >> i) & 1u) != 0);
    return *this;
  }
  BitStream &Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) bits_.push_back((code >> i) & 1u);
    return *this;
  }
  BitStream &AlignToByte() { return Bits(0, static_cast<int>((8 - bits_.size() % 8) % 8)); }
  Bytes Finish() {  // pads the last byte with zeros
    AlignToByte();
    Bytes out(bits_.size() / 8, '\0');
    for (std::size_t i = 0; i < bits_.size(); ++i) out[i / 8] = static_cast<char>(out[i / 8] | bits_[i] << (i % 8));
    return out;
  }

 private:
  std::vector<bool> bits_;
};

// Text-like bytes: words from a small vocabulary.
inline Bytes TextLike(std::size_t size, std::uint32_t seed) {
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

// Binary-like bytes: runs, small integers, noise and near repeats.
inline Bytes BinaryLike(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  const auto word = [](std::uint32_t v) { return Bytes(reinterpret_cast<const char *>(&v), 4); };  // in the CPU's order
  Bytes out;
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0: out.append(rng() % 40, '\0'); break;
      case 1:
        for (int i = 0, n = static_cast<int>(rng() % 16); i < n; ++i) out += word(rng() % 300);
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

inline Bytes Noise(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size, '\0');
  for (char &c : out) c = static_cast<char>(rng());
  return out;
}

}  // namespace ydr::test
