// The block encoder: gathers a block's literals and matches, chooses how the block is coded
// (stored, fixed codes or its own codes, whichever is shortest, fixed on a tie) and writes
// it. A block ends after 4095 symbols, or earlier at the matcher's request.
#pragma once

#include <cstdint>

#include "gz/bit_writer.h"
#include "gz/deflate_constants.h"
#include "gz/huffman_tree.h"

namespace ydr::gz {

class BlockEncoder {
 public:
  static constexpr int kMaxSymbols = 4095;

  BlockEncoder() { StartBlock(); }

  // Record a symbol; true when the block must be flushed now.
  bool RecordLiteral(std::uint8_t byte) {
    literal_or_length_[symbols_] = byte;
    distance_[symbols_] = 0;
    ++litlen_freq_[byte];
    return ++symbols_ == kMaxSymbols;
  }
  bool RecordMatch(unsigned distance, unsigned length) {
    const unsigned lc = length - kMinMatch;
    literal_or_length_[symbols_] = static_cast<std::uint8_t>(lc);
    distance_[symbols_] = static_cast<std::uint16_t>(distance);
    ++litlen_freq_[kLengthTables.code[lc] + kLiterals + 1];
    ++dist_freq_[DistanceCode(distance - 1)];
    ++distances_;
    return ++symbols_ == kMaxSymbols || distances_ == kMaxSymbols + 1;
  }

  // Writes the block. `bytes` are the block's input bytes if they are still in the window
  // (null otherwise: it cannot be stored then), `stored_length` how many there are. Returns
  // the stream's compressed length so far in bytes.
  std::uint64_t FlushBlock(const std::uint8_t *bytes, std::uint32_t stored_length, bool final, BitWriter &out);

 private:
  void StartBlock();
  void ScanLengths(const Code *codes, int max_code);
  void SendLengths(const Code *codes, int max_code, BitWriter &out) const;
  int BuildBitLengthTree(std::uint64_t *dynamic_bits);
  void SendSymbols(const Code *litlen, const Code *dist, BitWriter &out) const;

  // The block's symbols: a literal, or match length - 3 with its distance (0: a literal).
  std::uint8_t literal_or_length_[kMaxSymbols + 1];
  std::uint16_t distance_[kMaxSymbols + 1];
  int symbols_ = 0;
  int distances_ = 0;

  std::uint16_t litlen_freq_[kLitLenCodes];
  std::uint16_t dist_freq_[kDistCodes];
  std::uint16_t bitlen_freq_[kBitLengthCodes];
  Code litlen_codes_[kLitLenCodes + 1];  // one more for the sentinel of the length scans
  Code dist_codes_[kDistCodes + 1];
  Code bitlen_codes_[kBitLengthCodes];
  int litlen_max_ = 0;
  int dist_max_ = 0;

  TreeBuilder builder_;
  std::uint64_t compressed_bits_ = 0;  // the whole stream's, as blocks are written
};

}  // namespace ydr::gz
