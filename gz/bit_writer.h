// Bits out, least significant first, as deflate packs them. Bits gather in a 64-bit word
// and leave four bytes at a time; the byte stream is the same as sending each code on its
// own, so the width of the word changes nothing in the output.
#pragma once

#include <cstdint>
#include <cstring>

#include "gz/output_buffer.h"
#include "platform/byte_order.h"

namespace ydr::gz {

class BitWriter {
 public:
  explicit BitWriter(OutputBuffer *out) : out_(out) {}

  void Put(std::uint32_t value, int length) {
    bits_ |= static_cast<std::uint64_t>(value) << count_;
    count_ += length;
    if (count_ >= 32) {
      platform::StoreLittleEndian32(out_->tail(), static_cast<std::uint32_t>(bits_));
      out_->Advance(4);
      bits_ >>= 32;
      count_ -= 32;
    }
  }

  // Pads with zero bits to a byte boundary and sends what is held.
  void Align() {
    while (count_ > 0) {
      out_->PutByte(static_cast<std::uint8_t>(bits_));
      bits_ >>= 8;
      count_ = count_ > 8 ? count_ - 8 : 0;
    }
    bits_ = 0;
  }

  OutputBuffer &out() { return *out_; }

 private:
  OutputBuffer *out_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

}  // namespace ydr::gz
