// The decoder's fast path, in two loops. The main loop runs while the window (or the span
// of windows in the caller's buffer) has room for the most one iteration writes and the
// input buffer holds the most it reads, so that it tests no other bound: it decodes up to
// three literals or a match per iteration from a 64-bit bit buffer refilled without a
// branch, and looks up the next literal/length code before copying the match. The careful
// loop after it decodes the symbols near those ends, each tested against the room left.
// Both copy matches a word at a time.
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
#include "portable/byte_order.h"
#include "portable/cpu_features.h"
#include "portable/cpu_targets.h"

namespace ydr::gz {
namespace {

inline std::uint32_t Mask(int n) { return (1u << n) - 1; }
inline std::uint64_t Mask64(std::uint32_t n) { return (std::uint64_t{1} << n) - 1; }

// Copies a match of `length` bytes from `distance` back, forward, possibly overlapping; may
// write up to 40 bytes beyond the match. Word copies need the source eight bytes or more
// behind: a run of one byte is spread over a word, and a shorter period is first laid down
// one period per word store (each store leaves `distance` right bytes and junk after them,
// which the next store overwrites) until a whole multiple of it of at least eight bytes lies
// behind. The first 40 bytes are copied without a test, since most matches are that short:
// the loop's exit would otherwise be a branch mispredicted on nearly every match.
inline void CopyWords(std::uint8_t *to, const std::uint8_t *from, std::uint8_t *const end) {
  const auto word = [&](int i) {
    std::uint64_t w;
    std::memcpy(&w, from + 8 * i, 8);
    std::memcpy(to + 8 * i, &w, 8);
  };
  word(0);
  word(1);
  word(2);
  word(3);
  word(4);
  to += 40;
  from += 40;
  while (to < end) {
    word(0);
    word(1);
    to += 16;
    from += 16;
  }
}

inline void CopyMatch(std::uint8_t *to, std::uint32_t distance, std::uint32_t length) {
  std::uint8_t *const end = to + length;
  if (distance >= 8) {
    CopyWords(to, to - distance, end);
    return;
  }
  if (distance == 1) {
    const std::uint64_t word = 0x0101010101010101ull * to[-1];
    std::memcpy(to, &word, 8);
    std::memcpy(to + 8, &word, 8);
    to += 16;
    while (to < end) {
      std::memcpy(to, &word, 8);
      std::memcpy(to + 8, &word, 8);
      to += 16;
    }
    return;
  }
  // The smallest multiple of the period that is at least 8.
  static constexpr std::uint8_t kStride[8] = {0, 0, 8, 9, 8, 10, 12, 14};
  const std::uint32_t stride = kStride[distance];
  std::uint8_t *const pattern_end = to + stride;
  do {
    std::uint64_t w;
    std::memcpy(&w, to - distance, 8);
    std::memcpy(to, &w, 8);
    to += distance;
  } while (to < pattern_end);
  if (to < end) CopyWords(to, to - stride, end);
}

// A code longer than the fast table: through the waiting table's levels.
inline DecodeEntry LookUpLong(const DecodeEntry *table, std::uint32_t root_mask, std::uint64_t bits, int *used) {
  DecodeEntry e = table[bits & root_mask];
  while (IsLink(e.op)) {
    *used += e.bits;
    e = table[e.value + ((bits >> *used) & Mask(e.op - 16))];
  }
  *used += e.bits;
  return e;
}

// What the main loop works with.
struct Codes {
  const std::uint32_t *flt;  // the fast tables
  const std::uint32_t *fdt;
  const DecodeEntry *lt;  // the waiting tables, for codes longer than the fast ones
  const DecodeEntry *dt;
  std::uint32_t lmask;
  std::uint32_t dmask;
  std::uint32_t window;
};
struct MainLoopState {
  std::uint8_t *op;  // the next output byte
  std::uint8_t *op_end;
  const std::uint8_t *in;  // the next input byte
  const std::uint8_t *in_end;
  std::uint64_t bits;
  std::uint32_t left;  // bits held
};

constexpr std::uint32_t kFastLitMask = (1u << FastTable<11>::kFastBits) - 1;
constexpr std::uint32_t kFastDistMask = (1u << FastTable<10>::kFastBits) - 1;

// The main loop, while the window has room for the most an iteration writes and the input
// for the most it reads (two refills): no other bound is tested. An iteration starts with
// the next literal/length entry already looked up, so that its lookup overlaps the previous
// match's copy. `left` counts the bits held in its low 8 bits only: whole entries are
// subtracted from it, their consumed bits being their low byte. A function of its own, so
// that its values have the registers to themselves.
YDR_ALWAYS_INLINE void MainLoop(MainLoopState &state, const Codes &t) {
  using namespace fast_entry;
  std::uint8_t *op = state.op;
  std::uint8_t *const op_end = state.op_end;
  const std::uint8_t *in = state.in;
  const std::uint8_t *const in_main_end = state.in_end;
  std::uint64_t bits = state.bits;
  std::uint32_t left = state.left;
  // Tops the bit buffer up to 56 bits or more. The bits above those counted are the next
  // input's own (or zero), so a later load ORed over them changes nothing.
  const auto refill = [&]() YDR_ALWAYS_INLINE_LAMBDA {
    bits |= portable::LoadLittleEndian64(in) << (left & 63);
    in += 7 - ((left >> 3) & 7);
    left |= 56;
  };
  const auto consume = [&](std::uint32_t entry) YDR_ALWAYS_INLINE_LAMBDA {
    bits >>= static_cast<std::uint8_t>(entry);
    left -= entry;
  };
  refill();
  std::uint32_t e = t.flt[bits & kFastLitMask];
  do {
    // Up to three literals on one refill, each of at most 11 bits; after two, enough bits
    // remain for a length of 16 and the distance lookup.
    std::uint64_t saved = bits;
    consume(e);
    if (e & kLiteral) {
      *op++ = static_cast<std::uint8_t>(Value(e));
      e = t.flt[bits & kFastLitMask];
      saved = bits;
      consume(e);
      if (e & kLiteral) {
        *op++ = static_cast<std::uint8_t>(Value(e));
        e = t.flt[bits & kFastLitMask];
        saved = bits;
        consume(e);
        if (e & kLiteral) {
          *op++ = static_cast<std::uint8_t>(Value(e));
          e = t.flt[bits & kFastLitMask];
          refill();
          continue;
        }
      }
    }
    // A length, or an entry that consumed nothing: a long code, the end of the block or
    // no code at all.
    std::uint32_t length;
    std::uint32_t length_bits;
    if (e & kElsewhere) {
      int used = 0;
      const DecodeEntry l = LookUpLong(t.lt, t.lmask, bits, &used);
      if (l.op == kOpLiteral) {
        bits >>= used;
        left -= static_cast<std::uint32_t>(used);
        *op++ = static_cast<std::uint8_t>(l.value);
        e = t.flt[bits & kFastLitMask];
        refill();
        continue;
      }
      if (l.op > 13) break;  // the slow path takes it
      saved = bits;
      length = l.value + (static_cast<std::uint32_t>(bits >> used) & Mask(l.op));
      length_bits = static_cast<std::uint32_t>(used) + l.op;
      bits >>= length_bits;
      left -= length_bits;
    } else {
      length = Value(e) + static_cast<std::uint32_t>((saved & Mask64(Total(e))) >> CodeLength(e));
      length_bits = Total(e);
    }
    const std::uint32_t d = t.fdt[bits & kFastDistMask];
    std::uint32_t distance;
    if (d & kElsewhere) {
      const std::uint8_t *const in_before = in;
      const std::uint32_t left_before = left;
      refill();
      int dist_used = 0;
      const DecodeEntry l = LookUpLong(t.dt, t.dmask, bits, &dist_used);
      if (l.op == kOpInvalid) {  // back to before the length, for the slow path
        in = in_before;
        bits = saved;
        left = left_before + length_bits;
        break;
      }
      distance = l.value + (static_cast<std::uint32_t>(bits >> dist_used) & Mask(l.op));
      dist_used += l.op;
      bits >>= dist_used;
      left -= static_cast<std::uint32_t>(dist_used);
    } else {
      // A distance takes at most 23 bits, and the next lookup 11 more.
      if ((left & 0xFF) < 23 + 11) refill();
      saved = bits;
      consume(d);
      distance = Value(d) + static_cast<std::uint32_t>((saved & Mask64(Total(d))) >> CodeLength(d));
    }
    if (distance > t.window) distance = ((distance - 1) & (t.window - 1)) + 1;
    e = t.flt[bits & kFastLitMask];
    refill();
    CopyMatch(op, distance, length);
    op += length;
  } while (op < op_end && in < in_main_end);
  state.op = op;
  state.in = in;
  state.bits = bits;
  state.left = left & 0xFF;
}

#if defined(__GNUC__) || defined(__clang__)
#define YDR_NOINLINE __attribute__((noinline))
#else
#define YDR_NOINLINE
#endif

YDR_NOINLINE void MainLoopPortable(MainLoopState &state, const Codes &codes) { MainLoop(state, codes); }

#if defined(YDR_X86_TARGETS)
// Compiled for BMI2, whose shifts and bit extraction take any register and leave the flags
// alone: fewer instructions and registers per symbol.
YDR_BMI2_TARGET YDR_NOINLINE void MainLoopWithBitInstructions(MainLoopState &state, const Codes &codes) {
  MainLoop(state, codes);
}
#endif

}  // namespace

void Inflater::FastSymbols(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                           const FastTable<10> &fast_dist) {
  if (litlen.empty() || dist.empty() || litlen.root_bits() < dist.root_bits()) return;
#if defined(YDR_X86_TARGETS)
  if (bit_instructions_) {
    FastSymbolsWithBitInstructions(litlen, dist, fast_litlen, fast_dist);
    return;
  }
#endif
  FastSymbolsLoop(litlen, dist, fast_litlen, fast_dist);
}

#if defined(YDR_X86_TARGETS)
// The same loop compiled for BMI2, whose shifts and bit extraction take any register and
// leave the flags alone: fewer instructions and registers per symbol.
YDR_BMI2_TARGET void Inflater::FastSymbolsWithBitInstructions(const DecodeTable &litlen, const DecodeTable &dist,
                                                              const FastTable<11> &fast_litlen,
                                                              const FastTable<10> &fast_dist) {
  FastSymbolsLoop(litlen, dist, fast_litlen, fast_dist);
}
#endif

YDR_ALWAYS_INLINE void Inflater::FastSymbolsLoop(const DecodeTable &litlen, const DecodeTable &dist,
                                                 const FastTable<11> &fast_litlen, const FastTable<10> &fast_dist) {
  using namespace fast_entry;
  const DecodeEntry *lt = litlen.entries();
  const DecodeEntry *dt = dist.entries();
  const std::uint32_t lmask = Mask(litlen.root_bits());
  const std::uint32_t dmask = Mask(dist.root_bits());
  const std::uint32_t *flt = fast_litlen.entries;
  const std::uint32_t *fdt = fast_dist.entries;
  // A symbol that would fill the window (or the span of windows) is left to the slow path,
  // which stops there; and a match copy may write 40 bytes beyond its end.
  const std::uint32_t last = limit_ - 1 < room_ - 40 ? limit_ - 1 : room_ - 40;
  const std::uint8_t *const in_start = source_->next();
  const std::uint8_t *in = in_start;
  const std::uint8_t *const in_end = in_start + source_->available();
  std::uint8_t *const out = out_;
  std::uint32_t position = position_;
  std::uint64_t bits = bit_buffer_;
  int count = bit_count_;

  // The main loop first, while far from every end.
  constexpr std::uint32_t kMostWritten = 2 + 258;
  if (last > kMostWritten && position < last - kMostWritten && in_end - in >= 16 + 7) {
    MainLoopState state{out + position, out + (last - kMostWritten),      in, in_end - 15,
                        bits,           static_cast<std::uint32_t>(count)};
    const Codes codes{flt, fdt, lt, dt, lmask, dmask, window_size_};
#if defined(YDR_X86_TARGETS)
    if (bit_instructions_) {
      MainLoopWithBitInstructions(state, codes);
    } else {
      MainLoopPortable(state, codes);
    }
#else
    MainLoopPortable(state, codes);
#endif
    position = static_cast<std::uint32_t>(state.op - out);
    in = state.in;
    bits = state.bits;
    count = static_cast<int>(state.left);
  }

  // Near the ends: every symbol tested against the room left.
  while (position < last && in_end - in >= 8) {
    bits |= portable::LoadLittleEndian64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;

    std::uint32_t e = flt[bits & kFastLitMask];
    if (e & kLiteral) {
      // Up to three literals on one refill: each takes at most 11 of the 56 bits or more
      // that a refill leaves.
      bits >>= Total(e);
      count -= static_cast<int>(Total(e));
      out[position++] = static_cast<std::uint8_t>(Value(e));
      e = flt[bits & kFastLitMask];
      if (!(e & kLiteral) || position >= last) continue;
      bits >>= Total(e);
      count -= static_cast<int>(Total(e));
      out[position++] = static_cast<std::uint8_t>(Value(e));
      e = flt[bits & kFastLitMask];
      if (!(e & kLiteral) || position >= last) continue;
      bits >>= Total(e);
      count -= static_cast<int>(Total(e));
      out[position++] = static_cast<std::uint8_t>(Value(e));
      continue;
    }
    int used;
    std::uint32_t length;
    if (e & kElsewhere) {  // a long code, the end of the block or no code at all
      used = 0;
      const DecodeEntry l = LookUpLong(lt, lmask, bits, &used);
      if (l.op == kOpLiteral) {
        bits >>= used;
        count -= used;
        out[position++] = static_cast<std::uint8_t>(l.value);
        continue;
      }
      if (l.op > 13) break;  // end of block or an invalid code
      length = l.value + (static_cast<std::uint32_t>(bits >> used) & Mask(l.op));
      used += l.op;
    } else {
      length = Value(e) + static_cast<std::uint32_t>((bits & Mask64(Total(e))) >> CodeLength(e));
      used = static_cast<int>(Total(e));
    }
    const std::uint32_t d = fdt[(bits >> used) & kFastDistMask];
    std::uint32_t distance;
    if (d & kElsewhere) {
      const std::uint64_t rest = bits >> used;
      int dist_used = 0;
      const DecodeEntry l = LookUpLong(dt, dmask, rest, &dist_used);
      if (l.op == kOpInvalid) break;
      distance = l.value + (static_cast<std::uint32_t>(rest >> dist_used) & Mask(l.op));
      used += dist_used + l.op;
    } else {
      const std::uint64_t rest = bits >> used;
      distance = Value(d) + static_cast<std::uint32_t>((rest & Mask64(Total(d))) >> CodeLength(d));
      used += static_cast<int>(Total(d));
    }
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
