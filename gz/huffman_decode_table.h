// Decoding tables for the codes of a deflate block. Their shape is observable: the decoder
// waits for as many bits as a table's first level indexes before each lookup, and that
// decides where a stream that ends early stops. So the first levels are fixed (9 bits for
// literal/length codes, 6 for distances, 7 for the code-length code; 7 and 5 for the fixed
// codes), with linked second-level tables for longer codes.
//
// A table is a first-level table indexed by the next `root_bits` bits, whose entries give a
// symbol or point to a second-level table for longer codes (and so on). The first level is
// as wide as asked, but never wider than the longest code nor narrower than the shortest.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

namespace ydr::gz {

struct DecodeEntry {
  std::uint8_t op;      // see the constants below
  std::uint8_t bits;    // bits this entry consumes (for a link: the bits of the level it is in)
  std::uint16_t value;  // literal, base length or distance, or the linked table's offset
};

inline constexpr std::uint8_t kOpLiteral = 16;
inline constexpr std::uint8_t kOpEndOfBlock = 15;
inline constexpr std::uint8_t kOpInvalid = 99;
// 0..13: a base value followed by that many extra bits; 16 + j (j >= 1): a link to a table
// indexed by j further bits.
inline bool IsLink(std::uint8_t op) { return static_cast<unsigned>(op - (kOpLiteral + 1)) < 15u; }  // 17..31

// A flat table for the decoder's fast path, indexed by more bits than the waiting tables'
// first level, so that nearly every code resolves in one lookup. Each entry is one word
// laid out for few operations per symbol:
//   bits 0-7    bits to consume in all: the code and its extra bits
//   bits 8-11   the code's own length (where its extra bits start)
//   bit 12      a literal
//   bit 13      not decoded here: a code longer than the table (look it up in the waiting
//               table), the end of a block, or a code the code lacks; such an entry has
//               bits 0-11 clear, so that taking it consumes nothing
//   bits 16-31  the literal, or the base length or distance
namespace fast_entry {
inline constexpr std::uint32_t kLiteral = 1u << 12;
inline constexpr std::uint32_t kElsewhere = 1u << 13;
inline constexpr std::uint32_t Total(std::uint32_t e) { return e & 0xFF; }
inline constexpr std::uint32_t CodeLength(std::uint32_t e) { return (e >> 8) & 0xF; }
inline constexpr std::uint32_t Value(std::uint32_t e) { return e >> 16; }
}  // namespace fast_entry

template <int kBits>
struct FastTable {
  static constexpr int kFastBits = kBits;
  std::uint32_t entries[1 << kBits];
  // Fills the table for the code of a waiting table just built (complete, or incomplete
  // and accepted), from the symbols it sorted.
  void Build(const class DecodeTable &code, int simple, const std::uint16_t *base, const std::uint8_t *extra);
};

enum class BuildResult : int { kComplete = 0, kIncomplete = 1, kOverSubscribed = 2, kNoMemory = 3 };

class DecodeTable {
 public:
  // Entries enough for any table of each kind: a literal/length code has at most 144
  // second-level tables (each holds two codes or more) of at most 64 entries below its 512;
  // distance and bit-length codes need far fewer.
  static constexpr int kLitLenCapacity = 512 + 144 * 64;
  static constexpr int kDistCapacity = 64 + 16 * 64 + 16 * 8;
  static constexpr int kBitLengthCapacity = 128;

  explicit DecodeTable(int capacity) : capacity_(capacity), entries_(new (std::nothrow) DecodeEntry[capacity]) {}
  bool allocated() const { return entries_ != nullptr; }

  // Builds the table for `count` code lengths. Symbols below `simple` decode to themselves
  // (literals, with 256 as the end of block); symbol `simple` + i decodes to base[i] with
  // extra[i] extra bits. All-zero lengths give an empty table and kComplete. An incomplete
  // code is built only when `allow_incomplete` (its missing codes decode as invalid).
  BuildResult Build(const std::uint8_t *lengths, int count, int simple, const std::uint16_t *base,
                    const std::uint8_t *extra, int requested_root_bits, bool allow_incomplete);

  bool empty() const { return root_bits_ == 0; }
  int root_bits() const { return root_bits_; }
  const DecodeEntry *entries() const { return entries_.get(); }

  // The code the last Build was given: how many symbols have each length (1 to 15), and the
  // symbols in canonical order (by length, then by value).
  const std::uint16_t *length_counts() const { return counts_; }
  const std::uint16_t *symbols_by_length() const { return symbols_; }

 private:
  int capacity_;
  std::unique_ptr<DecodeEntry[]> entries_;
  int root_bits_ = 0;
  int size_ = 0;
  static constexpr int kMaxSymbols = 320;
  std::uint16_t counts_[16] = {};
  std::uint16_t symbols_[2 * kMaxSymbols] = {};  // the second half: those without a code
};

}  // namespace ydr::gz
