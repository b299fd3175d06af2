// Bits out, least significant first, as deflate packs them. Bits gather in a 64-bit word
// and leave four bytes at a time; the byte stream is the same as sending each code on its
// own, so the width of the word changes nothing in the output.
#pragma once

#include <cstdint>
#include <cstring>

#include "gz/output_buffer.h"
#include "portable/byte_order.h"

namespace ydr::gz {

class BitWriter {
 public:
  explicit BitWriter(OutputBuffer *out) : out_(out) {}

  void Put(std::uint32_t value, int length) {
    bits_ |= static_cast<std::uint64_t>(value) << count_;
    count_ += length;
    if (count_ >= 32) {
      portable::StoreLittleEndian32(out_->tail(), static_cast<std::uint32_t>(bits_));
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

  // The bits held back (fewer than 32), handed over and forgotten: the end of a bit stream
  // made apart, to be spliced into another.
  void TakeRest(std::uint64_t *bits, int *count) {
    *bits = bits_;
    *count = count_;
    bits_ = 0;
    count_ = 0;
  }

  // The writer's state in the caller's registers, for a long run of codes (a block's
  // symbols): the same bits, committed four bytes at a time as by Put, without a branch on
  // whether four are complete. Bytes are stored straight into the output buffer; the
  // caller ends the burst (Sync) once `tail` reaches `piece_end`, so that full pieces go
  // out, and before anything else writes.
  struct Burst {
    std::uint64_t bits;
    unsigned count;
    std::uint8_t *tail;
    const std::uint8_t *piece_end;

    // `length` + count must stay below 64: at most 32 bits at a time.
    void Put(std::uint64_t value, unsigned length) {
      bits |= value << count;
      count += length;
      portable::StoreLittleEndian32(tail, static_cast<std::uint32_t>(bits));  // kept if complete
      const unsigned full = count & 32;
      tail += full >> 3;
      bits >>= full;
      count -= full;
    }
  };
  Burst StartBurst() {
    return {bits_, static_cast<unsigned>(count_), out_->tail(), out_->tail() + out_->room_in_piece()};
  }
  void Sync(const Burst &burst) {
    bits_ = burst.bits;
    count_ = static_cast<int>(burst.count);
    out_->Advance(static_cast<std::uint32_t>(burst.tail - out_->tail()));
  }

 private:
  OutputBuffer *out_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

}  // namespace ydr::gz
