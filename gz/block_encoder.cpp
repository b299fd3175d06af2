// Writing a block.
//
// Each block is costed three ways: stored (its bytes plus a 4-byte header after aligning),
// fixed codes, and its own codes with their description. The code lengths are described
// in runs: a run of one non-zero length as the length and a repeat code (16), runs of
// zeros by the two zero-run codes (17, 18). A run ends at 138 when the next length is 0, at
// 6 when it repeats the previous length, at 7 otherwise; a run shorter than 3 (4 for a
// length that differs from the one before) is sent length by length.
#include "gz/block_encoder.h"

#include <cstring>

namespace ydr::gz {
namespace {

constexpr int kRepeatPrevious = 16;  // 3..6 copies of the previous length, 2 extra bits
constexpr int kRepeatZero3 = 17;     // 3..10 zeros, 3 extra bits
constexpr int kRepeatZero11 = 18;    // 11..138 zeros, 7 extra bits
constexpr std::uint16_t kSentinel = 0xFFFF;

struct RunLimits {
  int max_count;
  int min_count;
};

RunLimits FirstRun(int next_length) { return next_length == 0 ? RunLimits{138, 3} : RunLimits{7, 4}; }

RunLimits NextRun(int current, int next) {
  if (next == 0) return {138, 3};
  if (current == next) return {6, 3};
  return {7, 4};
}

}  // namespace

void BlockEncoder::StartBlock() {
  std::memset(litlen_freq_, 0, sizeof litlen_freq_);
  std::memset(dist_freq_, 0, sizeof dist_freq_);
  std::memset(bitlen_freq_, 0, sizeof bitlen_freq_);
  litlen_freq_[kEndBlock] = 1;
  symbol_count_ = 0;
}

void BlockEncoder::ScanLengths(const Code *codes, int max_code) {
  int prev_length = -1;
  int next_length = codes[0].length;
  int count = 0;
  RunLimits limits = FirstRun(next_length);
  for (int n = 0; n <= max_code; ++n) {
    const int current = next_length;
    next_length = codes[n + 1].length;  // the sentinel after max_code matches nothing
    if (++count < limits.max_count && current == next_length) continue;
    if (count < limits.min_count) {
      bitlen_freq_[current] = static_cast<std::uint16_t>(bitlen_freq_[current] + count);
    } else if (current != 0) {
      if (current != prev_length) ++bitlen_freq_[current];
      ++bitlen_freq_[kRepeatPrevious];
    } else if (count <= 10) {
      ++bitlen_freq_[kRepeatZero3];
    } else {
      ++bitlen_freq_[kRepeatZero11];
    }
    count = 0;
    prev_length = current;
    limits = NextRun(current, next_length);
  }
}

void BlockEncoder::SendLengths(const Code *codes, int max_code, BitWriter &out) const {
  int prev_length = -1;
  int next_length = codes[0].length;
  int count = 0;
  RunLimits limits = FirstRun(next_length);
  const auto send = [&](int symbol) { out.Put(bitlen_codes_[symbol].bits, bitlen_codes_[symbol].length); };
  for (int n = 0; n <= max_code; ++n) {
    const int current = next_length;
    next_length = codes[n + 1].length;
    if (++count < limits.max_count && current == next_length) continue;
    if (count < limits.min_count) {
      do {
        send(current);
      } while (--count != 0);
    } else if (current != 0) {
      if (current != prev_length) {
        send(current);
        --count;
      }
      send(kRepeatPrevious);
      out.Put(static_cast<std::uint32_t>(count - 3), 2);
    } else if (count <= 10) {
      send(kRepeatZero3);
      out.Put(static_cast<std::uint32_t>(count - 3), 3);
    } else {
      send(kRepeatZero11);
      out.Put(static_cast<std::uint32_t>(count - 11), 7);
    }
    count = 0;
    prev_length = current;
    limits = NextRun(current, next_length);
  }
}

int BlockEncoder::BuildBitLengthTree(std::uint64_t *dynamic_bits) {
  litlen_codes_[litlen_max_ + 1].length = kSentinel;
  dist_codes_[dist_max_ + 1].length = kSentinel;
  ScanLengths(litlen_codes_, litlen_max_);
  ScanLengths(dist_codes_, dist_max_);
  std::uint64_t unused_fixed = 0;
  builder_.Build(kBitLengthShape, bitlen_freq_, bitlen_codes_, dynamic_bits, &unused_fixed);
  int max_index = kBitLengthCodes - 1;
  for (; max_index >= 3; --max_index) {
    if (bitlen_codes_[kBitLengthOrder[max_index]].length != 0) break;
  }
  *dynamic_bits += 3 * (static_cast<std::uint64_t>(max_index) + 1) + 5 + 5 + 4;
  return max_index;
}

void BlockEncoder::SendSymbols(const Code *litlen, const Code *dist, BitWriter &out) const {
  // Each symbol's codes and extra bits come from two lookups, one by its literal/length index
  // and one by its distance code, each giving the bits and their count as one value (a
  // literal's distance entry is empty), so that sending takes no branch on the symbol's kind.
  std::uint32_t litlen_table[kLiterals + 256];  // bits, and their count in the top byte
  for (int n = 0; n < kLiterals; ++n)
    litlen_table[n] = litlen[n].bits | static_cast<std::uint32_t>(litlen[n].length) << 24;
  for (unsigned lc = 0; lc < 256; ++lc) {
    const int code = kLengthTables.code[lc];
    const Code &c = litlen[code + kLiterals + 1];
    // A length code the block does not use has no code (or holds the length scans'
    // sentinel): its entries are never read.
    if (c.length == 0 || c.length > kMaxBits) {
      litlen_table[kLiterals + lc] = 0;
      continue;
    }
    const std::uint32_t extra_value = lc - kLengthTables.base[code];
    litlen_table[kLiterals + lc] =
        (c.bits | extra_value << c.length) | static_cast<std::uint32_t>(c.length + kLengthExtra[code]) << 24;
  }
  std::uint32_t dist_table[32] = {};  // code bits, their count (bits 16-23), extra bit count (24-31)
  for (int dc = 0; dc < kDistCodes; ++dc) {
    if (dist[dc].length > kMaxBits) continue;  // the sentinel: unused
    dist_table[dc] = dist[dc].bits | static_cast<std::uint32_t>(dist[dc].length) << 16 |
                     static_cast<std::uint32_t>(kDistExtra[dc]) << 24;
  }

  BitWriter::Burst burst = out.StartBurst();
  for (std::size_t i = 0; i < symbol_count_; ++i) {
    const std::uint32_t symbol = symbols_[i];
    const std::uint32_t a = litlen_table[symbol & 0x1FF];
    burst.Put(a & 0xFFFFFF, a >> 24);
    const std::uint32_t d = dist_table[(symbol >> 9) & 31];
    const unsigned code_length = (d >> 16) & 0xFF;
    burst.Put((d & 0xFFFF) | (symbol >> 14) << code_length, code_length + (d >> 24));
    if (burst.tail >= burst.piece_end) {
      out.Sync(burst);
      burst = out.StartBurst();
    }
  }
  out.Sync(burst);
  out.Put(litlen[kEndBlock].bits, litlen[kEndBlock].length);
}

void BlockEncoder::WriteStored(const std::uint8_t *bytes, std::uint32_t length, bool final, BitWriter &out) {
  out.Put(final ? 1 : 0, 3);
  out.Align();
  const std::uint8_t header[4] = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                  static_cast<std::uint8_t>(~length), static_cast<std::uint8_t>(~length >> 8)};
  out.out().PutBytes(header, 4);
  out.out().PutBytes(bytes, length);
}

std::uint64_t BlockEncoder::FlushBlock(const std::uint8_t *bytes, std::uint32_t stored_length, bool final,
                                       BitWriter &out) {
  // The next block starts empty however this one ends: a write callback that throws leaves
  // the stream lost, but the encoder must not go on filling a full symbol buffer.
  struct NextBlock {
    BlockEncoder *encoder;
    ~NextBlock() { encoder->StartBlock(); }
  } next_block{this};
  std::uint64_t dynamic_bits = 0;
  std::uint64_t fixed_bits = 0;
  litlen_max_ = builder_.Build(kLitLenShape, litlen_freq_, litlen_codes_, &dynamic_bits, &fixed_bits);
  dist_max_ = builder_.Build(kDistShape, dist_freq_, dist_codes_, &dynamic_bits, &fixed_bits);
  const int max_bitlen_index = BuildBitLengthTree(&dynamic_bits);

  std::uint64_t dynamic_bytes = (dynamic_bits + 3 + 7) >> 3;
  const std::uint64_t fixed_bytes = (fixed_bits + 3 + 7) >> 3;
  const std::uint64_t best = fixed_bytes <= dynamic_bytes ? fixed_bytes : dynamic_bytes;
  const unsigned final_bit = final ? 1 : 0;

  if (static_cast<std::uint64_t>(stored_length) + 4 <= best && bytes != nullptr) {
    last_kind_ = Kind::kStored;
    WriteStored(bytes, stored_length, final, out);
    compressed_bits_ = (compressed_bits_ + 3 + 7) & ~std::uint64_t{7};
    compressed_bits_ += (static_cast<std::uint64_t>(stored_length) + 4) << 3;
  } else if (fixed_bytes == best) {
    last_kind_ = Kind::kFixed;
    out.Put(2 + final_bit, 3);
    SendSymbols(kFixedCodes.litlen, kFixedCodes.dist, out);
    compressed_bits_ += 3 + fixed_bits;
  } else {
    last_kind_ = Kind::kDynamic;
    out.Put(4 + final_bit, 3);
    out.Put(static_cast<std::uint32_t>(litlen_max_ + 1 - 257), 5);
    out.Put(static_cast<std::uint32_t>(dist_max_ + 1 - 1), 5);
    out.Put(static_cast<std::uint32_t>(max_bitlen_index + 1 - 4), 4);
    for (int rank = 0; rank <= max_bitlen_index; ++rank) out.Put(bitlen_codes_[kBitLengthOrder[rank]].length, 3);
    SendLengths(litlen_codes_, litlen_max_, out);
    SendLengths(dist_codes_, dist_max_, out);
    SendSymbols(litlen_codes_, dist_codes_, out);
    compressed_bits_ += 3 + dynamic_bits;
  }
  if (final) {
    out.Align();
    compressed_bits_ += 7;
  }
  return compressed_bits_ >> 3;
}

}  // namespace ydr::gz
