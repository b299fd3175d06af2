// Huffman codes for a block, built step by step by a fixed rule, since every code length
// is part of the output.
//
// The leaves go on a heap ordered by frequency and then by depth (the height of the
// subtree a node stands for), so that of two equally frequent nodes the shallower one is
// taken first; this keeps the tree flat and the order of equal choices fixed. The two
// smallest nodes are taken off and joined under a new node until one is left.
//
// Lengths are then read off the tree from the root down. A length above the alphabet's
// limit is cut to the limit and counted as overflow; the overflow is then paid for by
// moving leaves between lengths (one leaf from the longest length below the limit one
// level down, which makes room for two, one of them brought up from the limit) and the
// lengths are dealt out again, longest first, to the leaves in the order they left the
// heap (least frequent first). Codes are the canonical ones for those lengths.
#include "gz/huffman_tree.h"

namespace ydr::gz {

void TreeBuilder::SiftDown(int k) {
  // The entry past the heap's end is kept at the largest key, so that a node with one child
  // compares that child with it and keeps the child: no branch on whether a right child
  // exists, and the choice of child is a conditional move.
  const std::uint64_t v = heap_[k];
  const std::uint32_t v_key = KeyOf(v);
  int j = k << 1;
  while (j <= heap_len_) {
    const std::uint64_t left = heap_[j];
    const std::uint64_t right = heap_[j + 1];
    const bool take_right = KeyOf(right) <= KeyOf(left);
    const std::uint64_t child = take_right ? right : left;
    j += take_right ? 1 : 0;
    if (v_key <= KeyOf(child)) break;
    heap_[k] = child;
    k = j;
    j <<= 1;
  }
  heap_[k] = v;
}

int TreeBuilder::Build(const TreeShape &shape, const std::uint16_t *freq, Code *codes, std::uint64_t *dynamic_bits,
                       std::uint64_t *fixed_bits) {
  const int elements = shape.elements;
  int max_code = -1;
  heap_len_ = 0;
  heap_max_ = kHeapSize;
  for (int n = 0; n < elements; ++n) {
    freq_[n] = freq[n];
    length_[n] = 0;
    if (freq[n] != 0) {
      heap_[++heap_len_] = Entry(Key(freq[n], 0), max_code = n);
      depth_[n] = 0;
    }
  }
  // A code needs two symbols: add symbols of frequency 1 (their cost is taken back here and
  // counted again below, so the totals only carry the real symbols).
  while (heap_len_ < 2) {
    const int node = max_code < 2 ? ++max_code : 0;
    heap_[++heap_len_] = Entry(Key(1, 0), node);
    freq_[node] = 1;
    depth_[node] = 0;
    --*dynamic_bits;
    if (shape.fixed != nullptr) *fixed_bits -= shape.fixed[node].length;
  }
  heap_[heap_len_ + 1] = kPastTheEnd;
  for (int n = heap_len_ / 2; n >= 1; --n) SiftDown(n);

  int node = elements;  // inner nodes are numbered after the leaves
  do {
    const int n = NodeOf(heap_[1]);  // the smallest
    heap_[1] = heap_[heap_len_];
    heap_[heap_len_--] = kPastTheEnd;
    SiftDown(1);
    const int m = NodeOf(heap_[1]);  // the next smallest
    removed_[--heap_max_] = n;
    removed_[--heap_max_] = m;
    freq_[node] = static_cast<std::uint16_t>(freq_[n] + freq_[m]);
    depth_[node] = static_cast<std::uint8_t>((depth_[n] >= depth_[m] ? depth_[n] : depth_[m]) + 1);
    parent_[n] = parent_[m] = static_cast<std::uint16_t>(node);
    heap_[1] = Entry(Key(freq_[node], depth_[node]), node);
    ++node;
    SiftDown(1);
  } while (heap_len_ >= 2);
  removed_[--heap_max_] = NodeOf(heap_[1]);  // the root

  AssignLengths(shape, max_code, dynamic_bits, fixed_bits);

  // Canonical codes, stored bit-reversed as they are sent.
  unsigned next_code[kMaxBits + 1];
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) next_code[bits] = code = (code + bl_count_[bits - 1]) << 1;
  for (int n = 0; n < elements; ++n) {
    const int len = n <= max_code ? length_[n] : 0;
    codes[n].length = static_cast<std::uint16_t>(len);
    codes[n].bits = len == 0 ? 0 : static_cast<std::uint16_t>(ReverseBits(next_code[len]++, len));
  }
  return max_code;
}

void TreeBuilder::AssignLengths(const TreeShape &shape, int max_code, std::uint64_t *dynamic_bits,
                                std::uint64_t *fixed_bits) {
  const int max_length = shape.max_length;
  for (int &count : bl_count_) count = 0;

  length_[removed_[heap_max_]] = 0;  // the root
  int overflow = 0;
  int h = heap_max_ + 1;
  for (; h < kHeapSize; ++h) {
    const int n = removed_[h];
    int bits = length_[parent_[n]] + 1;
    if (bits > max_length) {
      bits = max_length;
      ++overflow;
    }
    length_[n] = static_cast<std::uint16_t>(bits);
    if (n > max_code) continue;  // an inner node
    ++bl_count_[bits];
    const int extra =
        (shape.extra_bits != nullptr && n >= shape.extra_base) ? shape.extra_bits[n - shape.extra_base] : 0;
    *dynamic_bits += static_cast<std::uint64_t>(freq_[n]) * static_cast<unsigned>(bits + extra);
    if (shape.fixed != nullptr) {
      *fixed_bits += static_cast<std::uint64_t>(freq_[n]) * static_cast<unsigned>(shape.fixed[n].length + extra);
    }
  }
  if (overflow == 0) return;

  do {
    int bits = max_length - 1;
    while (bl_count_[bits] == 0) --bits;
    --bl_count_[bits];
    bl_count_[bits + 1] += 2;
    --bl_count_[max_length];
    overflow -= 2;
  } while (overflow > 0);

  for (int bits = max_length; bits != 0; --bits) {
    int n = bl_count_[bits];
    while (n != 0) {
      const int m = removed_[--h];
      if (m > max_code) continue;
      if (length_[m] != bits) {
        *dynamic_bits += static_cast<std::uint64_t>(static_cast<std::int64_t>(bits - length_[m]) * freq_[m]);
        length_[m] = static_cast<std::uint16_t>(bits);
      }
      --n;
    }
  }
}

}  // namespace ydr::gz
