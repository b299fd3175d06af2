#include "gz/output_buffer.h"

#include <algorithm>

namespace ydr::gz {

void OutputBuffer::PutBytes(const std::uint8_t *bytes, std::uint32_t n) {
  while (n > 0) {
    const std::uint32_t room = kPiece - std::min(count_, kPiece);
    const std::uint32_t take = std::min(n, room == 0 ? 1u : room);
    std::memcpy(data_ + count_, bytes, take);
    bytes += take;
    n -= take;
    Advance(take);
  }
}

void OutputBuffer::DeliverPiece() {
  while (count_ >= kPiece) Deliver(kPiece);
}

void OutputBuffer::FlushAll() {
  DeliverPiece();
  if (count_ > 0) Deliver(count_);
}

void OutputBuffer::Deliver(std::uint32_t n) {
  const int written = write_(stream_, user_, data_, static_cast<int>(n));
  std::uint32_t done;
  if (written <= 0) {
    done = n;  // failed: the piece is lost
  } else if (static_cast<std::uint32_t>(written) >= n) {
    done = n;
    bytes_out_ += n;
  } else {
    done = static_cast<std::uint32_t>(written);  // short: the rest waits for the next piece
    bytes_out_ += done;
  }
  std::memmove(data_, data_ + done, count_ - done);
  count_ -= done;
}

}  // namespace ydr::gz
