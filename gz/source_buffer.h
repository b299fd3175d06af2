// The reader's input: the read callback fills a 4096-byte buffer, asked again and again for
// the rest of it until it is full or the callback says the data has ended (0 or -1). The
// callback is asked only when a byte is needed and none is buffered.
#pragma once

#include <cstdint>

#include "ydr/gz.h"

namespace ydr::gz {

class SourceBuffer {
 public:
  static constexpr std::uint32_t kSize = 4096;

  void Attach(YDRGZ stream, YDRGZ_READ_FUNC read, void *user) {
    stream_ = stream;
    read_ = read;
    user_ = user;
  }

  std::uint32_t available() const { return length_ - position_; }
  const std::uint8_t *next() const { return data_ + position_; }
  void Skip(std::uint32_t n) { position_ += n; }

  // Refills an exhausted buffer; false when the callback had nothing more.
  bool Refill() {
    length_ = 0;
    position_ = 0;
    while (length_ < kSize) {
      const int got = read_(stream_, user_, data_ + length_, static_cast<int>(kSize - length_));
      if (got <= 0) break;
      length_ += static_cast<std::uint32_t>(got) < kSize - length_ ? static_cast<std::uint32_t>(got) : kSize - length_;
    }
    bytes_in_ += length_;
    return length_ > 0;
  }

  // The next byte, refilling when needed; -1 at the end of the data.
  int Fetch() {
    if (position_ == length_ && !Refill()) return -1;
    return data_[position_++];
  }

  std::uint64_t bytes_in() const { return bytes_in_; }

 private:
  YDRGZ stream_ = nullptr;
  YDRGZ_READ_FUNC read_ = nullptr;
  void *user_ = nullptr;
  std::uint32_t position_ = 0;
  std::uint32_t length_ = 0;
  std::uint64_t bytes_in_ = 0;         // 64 bits: a stream may be longer than 4 GiB
  std::uint8_t data_[kSize + 8] = {};  // 8 more, so that a 64-bit load at the end stays inside
};

}  // namespace ydr::gz
