// The block encoder: gathers a block's literals and matches, chooses how the block is coded
// (stored, fixed codes or its own codes, whichever is shortest, fixed on a tie) and writes
// it. A block ends after 4095 symbols, or earlier at the matcher's request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gz/bit_writer.h"
#include "gz/deflate_constants.h"
#include "gz/huffman_tree.h"

namespace ydr::gz {

// The literal/length frequency each packed index (below) counts in.
struct FrequencySlots {
  std::uint16_t slot[512];
};
constexpr FrequencySlots MakeFrequencySlots() {
  FrequencySlots t{};
  for (int i = 0; i < 512; ++i) {
    t.slot[i] = static_cast<std::uint16_t>(i < kLiterals ? i : kLengthTables.code[i - kLiterals] + kLiterals + 1);
  }
  return t;
}
inline constexpr FrequencySlots kFrequencySlot = MakeFrequencySlots();

// The symbols of the block being gathered, each packed as the emitter reads it: bits 0-8
// index the literal/length table (a literal byte, or 256 + match length - 3), bits 9-13
// hold the distance code (kNoDistance for a literal), bits 14-26 the distance's extra bits.
// The matcher keeps a copy in its registers while it runs and hands it back before a flush.
struct SymbolCursor {
  static constexpr std::uint32_t kNoDistance = 30;

  std::uint32_t *next;
  std::uint32_t *full;  // where the block must end
  std::uint16_t *litlen_freq;
  std::uint16_t *dist_freq;  // kDistCodes + 2 counts

  // Record a symbol; true when the block must be flushed now.
  bool Literal(std::uint8_t byte) {
    *next++ = byte | kNoDistance << 9;
    ++litlen_freq[byte];
    return next == full;
  }
  bool Match(unsigned distance, unsigned length) {
    const unsigned lc = length - kMinMatch;
    const unsigned d = distance - 1;
    const unsigned dc = static_cast<unsigned>(DistanceCode(d));
    *next++ = (kLiterals + lc) | dc << 9 | (d - kDistanceTables.base[dc]) << 14;
    ++litlen_freq[kLengthTables.code[lc] + kLiterals + 1];
    ++dist_freq[dc];
    return next == full;
  }
  // Record a symbol already packed (one this cursor's kind made before). No branch on its
  // kind: a literal's distance code counts in a slot past the real ones.
  bool Packed(std::uint32_t word) {
    *next++ = word;
    ++litlen_freq[kFrequencySlot.slot[word & 0x1FF]];
    ++dist_freq[(word >> 9) & 31];
    return next == full;
  }
  // How many input bytes a packed symbol stands for.
  static std::uint32_t Length(std::uint32_t word) {
    const unsigned index = word & 0x1FF;
    return index < kLiterals ? 1 : index - kLiterals + kMinMatch;
  }
};

class BlockEncoder {
 public:
  static constexpr int kMaxSymbols = 4095;

  BlockEncoder() { StartBlock(); }

  // The cursor for recording symbols; after recording, the same cursor goes back through
  // Commit before the block is flushed (or the encoder otherwise used).
  SymbolCursor cursor() { return {symbols_ + symbol_count_, symbols_ + kMaxSymbols, litlen_freq_, dist_freq_}; }
  void Commit(const SymbolCursor &cursor) { symbol_count_ = static_cast<std::size_t>(cursor.next - symbols_); }

  // Writes the block. `bytes` are the block's input bytes if they are still in the window
  // (null otherwise: it cannot be stored then), `stored_length` how many there are. Returns
  // the stream's compressed length so far in bytes.
  std::uint64_t FlushBlock(const std::uint8_t *bytes, std::uint32_t stored_length, bool final, BitWriter &out);

  // How the last block flushed was coded. A stored block starts at a byte boundary of the
  // stream, so only it cannot be coded apart from the bits before it and spliced in.
  enum class Kind { kStored, kFixed, kDynamic };
  Kind last_kind() const { return last_kind_; }
  // A stored block of `length` bytes.
  static void WriteStored(const std::uint8_t *bytes, std::uint32_t length, bool final, BitWriter &out);

 private:
  void StartBlock();
  void ScanLengths(const Code *codes, int max_code);
  void SendLengths(const Code *codes, int max_code, BitWriter &out) const;
  int BuildBitLengthTree(std::uint64_t *dynamic_bits);
  void SendSymbols(const Code *litlen, const Code *dist, BitWriter &out) const;

  std::uint32_t symbols_[kMaxSymbols];
  std::size_t symbol_count_ = 0;

  std::uint16_t litlen_freq_[kLitLenCodes];
  std::uint16_t dist_freq_[kDistCodes + 2];  // the last two: the count of literals, unused
  std::uint16_t bitlen_freq_[kBitLengthCodes];
  Code litlen_codes_[kLitLenCodes + 1];  // one more for the sentinel of the length scans
  Code dist_codes_[kDistCodes + 1];
  Code bitlen_codes_[kBitLengthCodes];
  int litlen_max_ = 0;
  int dist_max_ = 0;

  TreeBuilder builder_;
  std::uint64_t compressed_bits_ = 0;  // the whole stream's, as blocks are written
  Kind last_kind_ = Kind::kFixed;
};

}  // namespace ydr::gz
