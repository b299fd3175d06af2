// Building the Huffman code of one alphabet for a block, exactly as the format's reference
// encoder does it, so that the same block always gets the same code lengths.
#pragma once

#include <cstdint>

#include "gz/deflate_constants.h"

namespace ydr::gz {

// One alphabet's description: where its extra bits start and how long its codes may be.
struct TreeShape {
  int elements;                    // symbols of the alphabet
  const std::uint8_t *extra_bits;  // extra bits by (symbol - extra_base); null: none
  int extra_base;
  int max_length;
  const Code *fixed;  // the fixed code, for the fixed-coding length; null: none
};

inline constexpr TreeShape kLitLenShape = {kLitLenCodes, kLengthExtra, kLiterals + 1, kMaxBits, kFixedCodes.litlen};
inline constexpr TreeShape kDistShape = {kDistCodes, kDistExtra, 0, kMaxBits, kFixedCodes.dist};
inline constexpr TreeShape kBitLengthShape = {kBitLengthCodes, kBitLengthExtra, 0, kMaxBitLengthBits, nullptr};

inline constexpr int kHeapSize = 2 * kLitLenCodes + 1;  // 573: leaves and inner nodes

// The working storage of the builder, shared by the three alphabets of a block.
class TreeBuilder {
 public:
  // Builds the code for freq[0 .. shape.elements), writing lengths and codes into `codes`
  // (a symbol is added with frequency 1 when fewer than two are in use). Adds the dynamic
  // and fixed coding costs of the symbols to the totals (in bits), and returns the largest
  // symbol in use.
  int Build(const TreeShape &shape, const std::uint16_t *freq, Code *codes, std::uint64_t *dynamic_bits,
            std::uint64_t *fixed_bits);

 private:
  // Node n is "smaller or equal" to m: less frequent, or as frequent and not deeper. The
  // heap keeps each node's frequency and depth together in one key, frequency above depth,
  // so that this is a single comparison of keys.
  static std::uint32_t Key(std::uint32_t freq, std::uint32_t depth) { return freq << 8 | depth; }
  // Heap entries carry their key above the node number, so sifting reads no other array.
  static std::uint64_t Entry(std::uint32_t key, int node) {
    return std::uint64_t{key} << 16 | static_cast<unsigned>(node);
  }
  static std::uint32_t KeyOf(std::uint64_t entry) { return static_cast<std::uint32_t>(entry >> 16); }
  static int NodeOf(std::uint64_t entry) { return static_cast<int>(entry & 0xFFFF); }
  void SiftDown(int k);
  static constexpr std::uint64_t kPastTheEnd = ~std::uint64_t{0};
  void AssignLengths(const TreeShape &shape, int max_code, std::uint64_t *dynamic_bits, std::uint64_t *fixed_bits);

  std::uint16_t freq_[kHeapSize];  // leaves' frequencies, then the inner nodes'
  std::uint16_t parent_[kHeapSize];
  std::uint16_t length_[kHeapSize];
  std::uint8_t depth_[kHeapSize];
  std::uint64_t heap_[kHeapSize + 1];  // heap_[1 .. heap_len_], then kPastTheEnd
  int removed_[kHeapSize];             // nodes in the order they left the heap, from the end
  int heap_len_ = 0;
  int heap_max_ = 0;  // removed nodes are kept in heap_[heap_max_ ..)
  int bl_count_[kMaxBits + 1];
};

}  // namespace ydr::gz
