// The decoder's fast path: whole symbols decoded with one refill each while at least eight
// input bytes are buffered and the window has room for the longest match. It reads input
// eight bytes at a time into a 64-bit bit buffer (a symbol takes at most 48 bits), and
// copies matches eight bytes at a time.
//
// It decides nothing the slow path must decide exactly: on the end of a block, an invalid
// code, or a lack of room or input it stops before the symbol, and the slow path takes it.
// Reading ahead here does not change which bytes the decoder's waits have taken by the time
// the slow path next looks up a code, provided a first-level lookup of the literal
// code waits for at least as many bits as one of the distance code does; blocks whose codes
// are otherwise use the slow path only.
#include <cstring>

#include "gz/deflate_constants.h"
#include "gz/inflater.h"
#include "platform/byte_order.h"

namespace ydr::gz {
namespace {

inline std::uint32_t Mask(int n) { return (1u << n) - 1; }

// Copies a match of `length` bytes from `distance` back, forward, possibly overlapping; may
// write up to 15 bytes beyond the match.
inline void CopyMatch(std::uint8_t *to, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t *from = to - distance;
  std::uint8_t *const end = to + length;
  if (distance >= 16) {
    do {
      std::uint8_t chunk[16];
      std::memcpy(chunk, from, 16);
      std::memcpy(to, chunk, 16);
      from += 16;
      to += 16;
    } while (to < end);
  } else if (distance >= 8) {
    do {
      std::uint64_t word;
      std::memcpy(&word, from, 8);
      std::memcpy(to, &word, 8);
      from += 8;
      to += 8;
    } while (to < end);
  } else if (distance == 1) {
    std::memset(to, *from, length);
  } else {
    do {
      *to++ = *from++;
    } while (to < end);
  }
}

}  // namespace

void Inflater::FastSymbols(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                           const FastTable<10> &fast_dist) {
  if (litlen.empty() || dist.empty() || litlen.root_bits() < dist.root_bits()) return;
  const DecodeEntry *lt = litlen.entries();
  const DecodeEntry *dt = dist.entries();
  const std::uint32_t lmask = Mask(litlen.root_bits());
  const std::uint32_t dmask = Mask(dist.root_bits());
  const DecodeEntry *flt = fast_litlen.entries;
  const DecodeEntry *fdt = fast_dist.entries;
  constexpr std::uint32_t kFastLitMask = (1u << FastTable<11>::kFastBits) - 1;
  constexpr std::uint32_t kFastDistMask = (1u << FastTable<10>::kFastBits) - 1;
  // A symbol that would fill the window is left to the slow path, which stops there.
  const std::uint32_t last = window_size_ - 1;
  const std::uint8_t *const in_start = source_->next();
  const std::uint8_t *in = in_start;
  const std::uint8_t *const in_end = in_start + source_->available();
  std::uint8_t *const out = window_ + base_;
  std::uint32_t position = position_;
  std::uint64_t bits = bit_buffer_;
  int count = bit_count_;

  while (position < last && in_end - in >= 8) {
    bits |= platform::LoadLittleEndian64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;

    DecodeEntry e = flt[bits & kFastLitMask];
    if (e.op == kOpLiteral) {
      // Up to three literals on one refill: each takes at most 11 of the 56 bits or more
      // that a refill leaves.
      bits >>= e.bits;
      count -= e.bits;
      out[position++] = static_cast<std::uint8_t>(e.value);
      e = flt[bits & kFastLitMask];
      if (e.op != kOpLiteral || position >= last) continue;
      bits >>= e.bits;
      count -= e.bits;
      out[position++] = static_cast<std::uint8_t>(e.value);
      e = flt[bits & kFastLitMask];
      if (e.op != kOpLiteral || position >= last) continue;
      bits >>= e.bits;
      count -= e.bits;
      out[position++] = static_cast<std::uint8_t>(e.value);
      continue;
    }
    int used = 0;
    if (e.op == kOpLong) {  // a long code: through the waiting table's levels
      e = lt[bits & lmask];
      while (IsLink(e.op)) {
        used += e.bits;
        e = lt[e.value + ((bits >> used) & Mask(e.op - 16))];
      }
    }
    if (e.op == kOpLiteral) {
      used += e.bits;
      bits >>= used;
      count -= used;
      out[position++] = static_cast<std::uint8_t>(e.value);
      continue;
    }
    if (e.op > 13) break;  // end of block or an invalid code
    used += e.bits;
    const std::uint32_t length = e.value + (static_cast<std::uint32_t>(bits >> used) & Mask(e.op));
    used += e.op;
    DecodeEntry d = fdt[(bits >> used) & kFastDistMask];
    if (d.op == kOpLong) {
      d = dt[(bits >> used) & dmask];
      while (IsLink(d.op)) {
        used += d.bits;
        d = dt[d.value + ((bits >> used) & Mask(d.op - 16))];
      }
    }
    if (d.op == kOpInvalid) break;
    used += d.bits;
    std::uint32_t distance = d.value + (static_cast<std::uint32_t>(bits >> used) & Mask(d.op));
    used += d.op;
    if (position + length > last) break;
    bits >>= used;
    count -= used;
    if (distance > window_size_) distance = ((distance - 1) & (window_size_ - 1)) + 1;
    CopyMatch(out + position, distance, length);
    position += length;
  }

  const auto advanced = static_cast<std::uint32_t>(in - in_start);
  source_->Skip(advanced);
  loaded_ += advanced;
  bit_buffer_ = count >= 64 ? bits : bits & ((std::uint64_t{1} << count) - 1);
  bit_count_ = count;
  position_ = position;
}

}  // namespace ydr::gz
