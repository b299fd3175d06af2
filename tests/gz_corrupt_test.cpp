// Damaged and hostile streams: each corrupt form built by hand, streams cut short at every
// byte, random damage. The reader answers -1 (after any bytes it could deliver), never
// reads or writes outside its buffers, never loops.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/guarded_buffer.h"
#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

using gz::InflateStatus;

// A dynamic block with simple codes, for building corrupt variants: bit-length codes 0..15
// all 4 bits long (each code length is sent as itself in 4 bits); literal/length symbols
// 0..225 of 8 bits and 226..285 of 9 bits; distance symbols 0, 1 of 4 bits and 2..29 of 5.
struct DynamicBlock {
  int hlit = 286;
  int hdist = 30;
  std::vector<int> bitlen_lengths = std::vector<int>(19, 4);  // by symbol
  std::vector<int> lengths;                                   // hlit + hdist, as sent

  DynamicBlock() {
    bitlen_lengths[16] = bitlen_lengths[17] = bitlen_lengths[18] = 0;
    for (int s = 0; s < 286; ++s) lengths.push_back(s < 226 ? 8 : 9);
    for (int s = 0; s < 30; ++s) lengths.push_back(s < 2 ? 4 : 5);
  }
  // A distance code of one symbol of `length` bits.
  DynamicBlock &OneDistance(int length) {
    hdist = 1;
    lengths.resize(286);
    lengths.push_back(length);
    return *this;
  }
  // The final block's header, then `text` as literals and the end of block (none if empty).
  void Write(BitStream &b, const std::string &text = "") const {
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.Bits(1, 1).Bits(2, 2).Bits(static_cast<std::uint32_t>(hlit - 257), 5);
    b.Bits(static_cast<std::uint32_t>(hdist - 1), 5).Bits(15, 4);  // all 19 bit-length code lengths
    for (int s : kOrder) b.Bits(static_cast<std::uint32_t>(bitlen_lengths[static_cast<std::size_t>(s)]), 3);
    for (int length : lengths) b.Code(static_cast<std::uint32_t>(length), 4);
    for (char c : text) b.Code(static_cast<unsigned char>(c), 8);
    if (!text.empty()) b.Code(452 + (256 - 226), 9);  // end of block
  }
};

TEST(GzCorruptTest, EachHandBuiltFormIsReadOrRejectedForItsOwnReason) {
  struct Case {
    const char *name;
    InflateStatus why;
    const char *data;       // what we read (after it, the trailer of these bytes)
    const char *zlib_data;  // what zlib reads; null: it refuses the stream
    void (*build)(BitStream &b);
  };
  const Case cases[] = {
      {"block type 3", InflateStatus::kBadBlockType, "", nullptr, [](BitStream &b) { b.Bits(7, 3).Bits(0, 16); }},
      {"stored length check fails", InflateStatus::kStoredLengthMismatch, "", nullptr,
       [](BitStream &b) { b.Bits(1, 3).AlignToByte().Bits(5, 16).Bits(0xFFFA ^ 1, 16).Bits(0, 40); }},
      {"more than 286 literal/length codes", InflateStatus::kTooManyCodes, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.hlit = 287;
         d.lengths.insert(d.lengths.begin() + 286, 9);
         d.Write(b);
       }},
      {"more than 30 distance codes", InflateStatus::kTooManyCodes, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.hdist = 31;
         d.lengths.push_back(5);
         d.Write(b);
       }},
      {"over-subscribed bit-length code", InflateStatus::kBadBitLengthCode, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.bitlen_lengths[16] = 4;  // 17 codes of 4 bits
         d.Write(b);
       }},
      {"incomplete bit-length code", InflateStatus::kBadBitLengthCode, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.bitlen_lengths[15] = 0;  // 15 codes of 4 bits
         d.Write(b);
       }},
      {"a zero run past the last length", InflateStatus::kRepeatPastEnd, "", nullptr,
       [](BitStream &b) {
         // 257 + 1 lengths; bit-length code: 1..15 of 4 bits, 0 and 18 of 5 (18 is 11111).
         b.Bits(1, 1).Bits(2, 2).Bits(0, 10).Bits(15, 4);
         for (int length : {0, 0, 5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4})
           b.Bits(static_cast<std::uint32_t>(length), 3);
         b.Code(0b11111, 5).Bits(127, 7).Code(0b11111, 5).Bits(127, 7);  // 138 zeros twice: past 258
       }},
      {"incomplete literal/length code", InflateStatus::kBadLiteralLengthCode, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.lengths[285] = 0;
         d.Write(b);
       }},
      {"over-subscribed literal/length code", InflateStatus::kBadLiteralLengthCode, "", nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.lengths[285] = 8;
         d.Write(b);
       }},
      // The one form zlib reads and we refuse: a lone code is incomplete.
      {"a distance code of one symbol", InflateStatus::kBadDistanceCode, "", "a",
       [](BitStream &b) { DynamicBlock().OneDistance(1).Write(b, "a"); }},
      {"a length code with no distance code at all", InflateStatus::kNoCode, "", nullptr,
       [](BitStream &b) {
         DynamicBlock().OneDistance(0).Write(b);
         b.Code('a', 8).Code(452 + (257 - 226), 9).Code(452 + (256 - 226), 9);  // 'a', length 3, end
       }},
      {"fixed code: length symbol 286", InflateStatus::kInvalidSymbol, "", nullptr,
       [](BitStream &b) { b.Bits(3, 3).Code(0x30 + 'a', 8).Code(0b11000110, 8).Bits(0, 16); }},
      {"fixed code: distance symbol 30", InflateStatus::kInvalidSymbol, "", nullptr,
       [](BitStream &b) { b.Bits(3, 3).Code(0x30 + 'a', 8).Code(1, 7).Code(30, 5).Bits(0, 16); }},
      // The base of the corrupt dynamic forms above, read by both.
      {"the whole simple dynamic code", InflateStatus::kDone, "hello", "hello",
       [](BitStream &b) { DynamicBlock().Write(b, "hello"); }},
      {"a stored block of length 0, then a fixed block", InflateStatus::kDone, "z", "z",
       [](BitStream &b) { b.Bits(0, 3).AlignToByte().Bits(0xFFFF0000, 32).Bits(3, 3).Code(0x30 + 'z', 8).Code(0, 7); }},
      // A repeat of the previous length as the very first length repeats zeros (zlib refuses
      // it); a distance code whose lengths are all zero is fine in a block of literals only.
      // Bit-length codes: 0 00, 1 01, 16 10, 18 11. Literal code: 'a' 0, end of block 1.
      {"a first length repeating the previous", InflateStatus::kDone, "aa", nullptr,
       [](BitStream &b) {
         b.Bits(1, 1).Bits(2, 2).Bits(0, 10).Bits(15, 4);
         for (int length : {2, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0})  // 16 17 18 0 8 ... 1 15
           b.Bits(static_cast<std::uint32_t>(length), 3);
         b.Code(0b10, 2).Bits(0, 2);                                        // 16: three more of the previous (0)
         b.Code(0b11, 2).Bits(94 - 11, 7);                                  // zeros up to 'a'
         b.Code(0b01, 2);                                                   // 'a': 1
         b.Code(0b11, 2).Bits(138 - 11, 7).Code(0b11, 2).Bits(20 - 11, 7);  // zeros up to the end of block
         b.Code(0b01, 2).Code(0b00, 2);       // end of block: 1; the one distance length: 0
         b.Code(0, 1).Code(0, 1).Code(1, 1);  // "aa", end of block
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BitStream b;
    c.build(b);
    const Bytes stream = b.Finish() + Trailer(c.data);
    Bytes zlib_out;
    EXPECT_EQ(ZlibInflate(stream, &zlib_out), c.zlib_data != nullptr);
    if (c.zlib_data != nullptr) {
      EXPECT_EQ(zlib_out, c.zlib_data);
    }
    const GzReadResult read = GzDecompress(stream);
    EXPECT_EQ(read.data, c.data);
    EXPECT_EQ(read.why, c.why);
    EXPECT_EQ(read.last_read, c.why == InflateStatus::kDone ? 0 : -1);
    if (c.why == InflateStatus::kDone) {
      EXPECT_EQ(read.close, 0);
    }
  }
}

TEST(GzCorruptTest, StreamsCutShortFailOrStopCleanly) {
  for (const Bytes &input : {Bytes("a"), TextLike(3000, 101), BinaryLike(9000, 102), Bytes(5000, 'r')}) {
    const Bytes stream = GzCompress(input);
    Bytes decoded;
    std::size_t deflate_end = 0;
    ASSERT_TRUE(ZlibInflate(stream, &decoded, &deflate_end));
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {
      SCOPED_TRACE(std::to_string(input.size()) + " cut at " + std::to_string(cut));
      const GzReadResult read = GzDecompress(stream.substr(0, cut), 0, 1000);
      ASSERT_EQ(read.data, input.substr(0, read.data.size()));
      // Cut in the deflate data: not damaged, only short, and the reader says so; closing there
      // may free without a check. Cut in the trailer: it never matches.
      EXPECT_EQ(read.why, cut < deflate_end ? InflateStatus::kNeedsInput : InflateStatus::kDone);
      EXPECT_EQ(read.last_read, cut < deflate_end ? -1 : 0);
      EXPECT_TRUE(read.close == -1 || (read.close == 0 && cut < deflate_end)) << read.close;
    }
  }
}

TEST(GzCorruptTest, RandomDamageNeverCrashes) {
  std::mt19937 rng(4242);
  const Bytes base = GzCompress(TextLike(20000, 111) + BinaryLike(20000, 112));
  for (int trial = 0; trial < 300; ++trial) {
    Bytes stream = base;
    for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips) {
      char &byte = stream[rng() % stream.size()];
      byte = static_cast<char>(static_cast<unsigned char>(byte) ^ (1 + rng() % 255));
    }
    // Into an output buffer with guard pages, a byte at a time and a window at a time.
    for (int read_size : {1, 4096}) {
      MemorySource source{&stream};
      YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
      GuardedBuffer<char> out(static_cast<std::size_t>(read_size));
      long total = 0;
      int got;
      while ((got = YdrGZRead(reader, out.data(), read_size)) > 0) {
        ASSERT_LE(got, read_size);
        total += got;
        ASSERT_LT(total, 10000000);  // damage can make data, but never without end
      }
      YdrGZCloseRead(reader);
    }
  }
}

}  // namespace
}  // namespace ydr::test
