// The decoder behind YdrGZRead: resumable, it decodes into a window of W bytes and stops
// whenever the window is full, keeping its place even inside a match, so the caller is
// handed the output one whole window at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "gz/huffman_decode_table.h"
#include "gz/inflate_status.h"
#include "gz/source_buffer.h"
#include "portable/cpu_targets.h"

namespace ydr::gz {

class Inflater {
 public:
  // `window` holds RingSize(W) bytes. The window being filled moves along it, one window
  // size per hand-out, with the window before it as the history that matches reach into;
  // at the end of the ring the last window is copied back to its start.
  static constexpr std::uint32_t kWindowSlack = 64;
  static constexpr std::uint32_t RingSize(std::uint32_t window_size) {
    return (window_size <= 8192 ? 8 : 4) * window_size + kWindowSlack;
  }
  Inflater(SourceBuffer *source, std::uint32_t window_size, std::uint8_t *window, DecodeTable *litlen,
           DecodeTable *dist, DecodeTable *bitlen);

  // False when memory ran out while making the decoder.
  bool allocated() const { return fast_litlen_ != nullptr && fast_dist_ != nullptr; }

  // Back to the start of a stream; bytes not yet handed out are dropped.
  void Reset();

  // Decodes until the window is full (returns W), the stream ends (returns the bytes left,
  // perhaps 0; later calls return 0), or the data is corrupt or ends early (-1, and -1 ever
  // after). The bytes are at output() until the next call.
  int Decode();
  const std::uint8_t *output() const { return output_; }

  // Decodes `count` bytes (whole windows) straight into `to`, of which `room` bytes (at
  // least `count`) may be written, as `count` / W calls of Decode would and with the same
  // result summed: `count`, or fewer where the stream ends; where the data turns out corrupt
  // or cut, the whole windows before that (perhaps 0), and -1 from then on. The W bytes
  // before `to` must be the last W handed out: only for a decoder that has handed out a
  // whole window since it started or was reset.
  int DecodeInto(std::uint8_t *to, std::uint32_t count, std::uint32_t room);
  // Whether decoding can go on: neither ended nor failed.
  bool decoding() const { return !ended_ && !failed_; }
  bool failed() const { return failed_; }

  // Whether the decoder stopped inside a block that holds its own code tables.
  bool holds_tables() const { return tables_held_; }

  // Why decoding failed (after Decode returned -1); kDone while it has not.
  InflateStatus failure() const { return failure_; }

  // Reads the 8 bytes that follow the deflate data (0xFF for each byte the source lacks),
  // and returns how many source bytes the decoder and the trailer took in all.
  std::uint64_t ReadTrailer(std::uint8_t trailer[8]);

 private:
  enum class Phase { kStart, kAfterLiteral, kInCopy };

  std::uint64_t consumed_bits() const { return loaded_ * 8 - bit_count_; }
  // The source bytes the decoder has taken by its rule (a byte only when a wait needs it):
  // what its waits asked for, as far as the source had them.
  std::uint64_t SourceBytesTaken() const {
    const std::uint64_t asked = (need_mark_ + 7) / 8;
    return asked < loaded_ ? asked : loaded_;
  }
  // Waits for `n` bits (moving the mark on); false when the source ends first.
  bool NeedBits(int n) {
    const std::uint64_t mark = consumed_bits() + static_cast<std::uint64_t>(n);
    if (mark > need_mark_) need_mark_ = mark;
    return bit_count_ >= n || LoadBits(n);
  }
  bool LoadBits(int n);
  std::uint32_t Bits(int n) const { return static_cast<std::uint32_t>(bit_buffer_) & ((1u << n) - 1); }
  void Drop(int n) {
    bit_buffer_ >>= n;
    bit_count_ -= n;
  }
  InflateStatus LookUp(const DecodeTable &table, DecodeEntry *entry);
  int Fail(InflateStatus why);
  int HandOut();
  void UseRing();
  InflateStatus Run();

  InflateStatus Stored();
  InflateStatus Fixed();
  InflateStatus Dynamic();
  InflateStatus ReadDynamicHeader();
  InflateStatus ReadCodeLengths(std::uint8_t *lengths, int total);
  InflateStatus Symbols(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                        const FastTable<10> &fast_dist);
  void FastSymbols(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                   const FastTable<10> &fast_dist);
  void FastSymbolsLoop(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                       const FastTable<10> &fast_dist);
#if defined(YDR_X86_TARGETS)
  YDR_BMI2_TARGET void FastSymbolsWithBitInstructions(const DecodeTable &litlen, const DecodeTable &dist,
                                                      const FastTable<11> &fast_litlen, const FastTable<10> &fast_dist);
#endif
  InflateStatus ContinueCopy();

  SourceBuffer *source_;
  bool bit_instructions_ = false;  // the fast path may use BMI2 (this CPU has it)
  const std::uint32_t window_size_;
  std::uint8_t *window_;
  DecodeTable *litlen_;
  DecodeTable *dist_;
  DecodeTable *bitlen_;
  std::unique_ptr<FastTable<11>> fast_litlen_;
  std::unique_ptr<FastTable<10>> fast_dist_;

  // Bits taken from the source and not yet used, least significant first.
  std::uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
  std::uint64_t loaded_ = 0;  // source bytes moved into the bit buffer
  // How far into the source the decoder's waits have reached (in bits). The decoder takes a
  // byte only when a lookup or field needs it; this mark, not how far the fast path read
  // ahead, decides how many bytes the trailer and a restart find already taken.
  std::uint64_t need_mark_ = 0;
  // Bytes given back to the source after a final block and then dropped by a reset: they
  // count as consumed although the bit position no longer covers them.
  std::uint64_t consumed_before_ = 0;

  const std::uint32_t ring_size_;
  std::uint32_t base_;          // where the window being filled starts in the ring
  const std::uint8_t *output_;  // the last bytes handed out
  // Where the decoder writes: the ring's window being filled, or the caller's memory. The
  // decoder stops when `limit_` bytes are there; `room_` bytes from `out_` may be written.
  std::uint8_t *out_;
  std::uint32_t limit_;
  std::uint32_t room_;
  std::uint32_t position_ = 0;  // bytes in the window being filled (or the span, in the caller's memory)
  bool in_block_ = false;
  bool fresh_block_ = false;
  bool final_ = false;
  bool ended_ = false;  // the final block is done
  bool failed_ = false;
  InflateStatus failure_ = InflateStatus::kDone;
  bool tables_held_ = false;
  int type_ = 0;
  std::uint32_t stored_left_ = 0;
  Phase phase_ = Phase::kStart;
  std::uint32_t copy_left_ = 0;
  std::uint32_t copy_distance_ = 0;  // within the window: 1 .. W
};

}  // namespace ydr::gz
