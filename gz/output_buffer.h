// The writer's output buffer: compressed bytes collect here and go to the write callback
// 4096 at a time (the last piece of a stream smaller). A callback that takes fewer bytes
// keeps the rest for the next piece; one that fails (0 or -1) loses the piece.
#pragma once

#include <cstdint>
#include <cstring>

#include "ydr/gz.h"

namespace ydr::gz {

class OutputBuffer {
 public:
  static constexpr std::uint32_t kPiece = 4096;

  void Attach(YDRGZ stream, YDRGZ_WRITE_FUNC write, void *user) {
    stream_ = stream;
    write_ = write;
    user_ = user;
  }

  // Room for at least 8 more bytes is always there: the buffer is emptied below 4096
  // whenever it reaches that (and a burst of bit writing may run 8 bytes past it).
  std::uint8_t *tail() { return data_ + count_; }
  std::uint32_t room_in_piece() const { return count_ < kPiece ? kPiece - count_ : 0; }
  void Advance(std::uint32_t n) {
    count_ += n;
    if (count_ >= kPiece) DeliverPiece();
  }
  void PutByte(std::uint8_t b) {
    data_[count_] = b;
    Advance(1);
  }
  void PutBytes(const std::uint8_t *bytes, std::uint32_t n);

  // Hands everything held to the callback (at the end of a stream).
  void FlushAll();

  std::uint32_t bytes_out() const { return bytes_out_; }

 private:
  void DeliverPiece();
  void Deliver(std::uint32_t n);

  YDRGZ stream_ = nullptr;
  YDRGZ_WRITE_FUNC write_ = nullptr;
  void *user_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t bytes_out_ = 0;
  std::uint8_t data_[2 * kPiece + 64];
};

}  // namespace ydr::gz
