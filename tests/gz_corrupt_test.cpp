// Damaged and hostile streams: each corrupt form built by hand, streams cut short at every
// byte, random damage. The reader answers -1 (after any bytes it could deliver), never
// reads or writes outside its buffers, never loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gz/reader_failure.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

// A dynamic block with simple codes, for building corrupt variants: bit-length codes 0..15
// all 4 bits long (so each code length is sent as itself in 4 bits); literal/length symbols
// 0..225 of 8 bits and 226..285 of 9 bits; distance symbols 0, 1 of 4 bits and 2..29 of 5.
struct DynamicBlock {
  int hlit = 286;
  int hdist = 30;
  std::vector<int> bitlen_lengths = std::vector<int>(19, 0);  // by symbol
  std::vector<int> lengths;                                   // hlit + hdist, as sent
  bool raw_lengths = false;  // lengths holds bit-length symbols and their extra bits as pairs

  DynamicBlock() {
    for (int s = 0; s < 16; ++s) bitlen_lengths[static_cast<std::size_t>(s)] = 4;
    for (int s = 0; s < 286; ++s) lengths.push_back(s < 226 ? 8 : 9);
    for (int s = 0; s < 30; ++s) lengths.push_back(s < 2 ? 4 : 5);
  }

  void WriteHeader(BitStream &b, bool final) const {
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.Bits(final ? 1 : 0, 1);
    b.Bits(2, 2);
    b.Bits(static_cast<std::uint32_t>(hlit - 257), 5);
    b.Bits(static_cast<std::uint32_t>(hdist - 1), 5);
    b.Bits(15, 4);  // all 19 bit-length code lengths
    for (int s : kOrder) b.Bits(static_cast<std::uint32_t>(bitlen_lengths[static_cast<std::size_t>(s)]), 3);
    if (raw_lengths) {
      for (std::size_t i = 0; i + 1 < lengths.size(); i += 2) {
        b.Code(static_cast<std::uint32_t>(lengths[i]), 4);
        const int extra_bits = lengths[i] == 16 ? 2 : lengths[i] == 17 ? 3 : 7;
        if (lengths[i] >= 16) b.Bits(static_cast<std::uint32_t>(lengths[i + 1]), extra_bits);
      }
    } else {
      for (int length : lengths) b.Code(static_cast<std::uint32_t>(length), 4);
    }
  }
  static void Literal(BitStream &b, int c) { b.Code(static_cast<std::uint32_t>(c), 8); }
  static void EndOfBlock(BitStream &b) { b.Code(452 + (256 - 226), 9); }
};

GzReadResult ReadHandBuilt(BitStream &b, const Bytes &expected_data) {
  return GzDecompress(b.Finish() + Trailer(expected_data));
}

// Reads a stream through the exports and says why the reader failed.
struct Failure {
  Bytes data;
  int last_read;
  gz::InflateStatus why;
};
Failure ReadAndExplain(const Bytes &stream) {
  MemorySource source{&stream};
  YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
  Failure out{"", 0, gz::InflateStatus::kDone};
  char buffer[4096];
  while ((out.last_read = YdrGZRead(reader, buffer, sizeof buffer)) > 0)
    out.data.append(buffer, static_cast<std::size_t>(out.last_read));
  out.why = gz::ReaderFailure(reader);
  YdrGZCloseRead(reader);
  return out;
}

TEST(GzCorruptTest, EachCorruptFormIsRejectedForItsOwnReason) {
  using gz::InflateStatus;
  struct Case {
    const char *name;
    InflateStatus why;
    void (*build)(BitStream &b);
  };
  const Case cases[] = {
      {"block type 3", InflateStatus::kBadBlockType, [](BitStream &b) { b.Bits(1, 1), b.Bits(3, 2), b.Bits(0, 16); }},
      {"stored length check fails", InflateStatus::kStoredLengthMismatch,
       [](BitStream &b) {
         b.Bits(1, 1), b.Bits(0, 2), b.AlignToByte();
         b.Bits(5, 16), b.Bits(0xFFFA ^ 1, 16);
         for (int i = 0; i < 5; ++i) b.Bits('x', 8);
       }},
      {"more than 286 literal/length codes", InflateStatus::kTooManyCodes,
       [](BitStream &b) {
         DynamicBlock d;
         d.hlit = 287;
         d.lengths.insert(d.lengths.begin() + 286, 9);
         d.WriteHeader(b, true);
       }},
      {"more than 30 distance codes", InflateStatus::kTooManyCodes,
       [](BitStream &b) {
         DynamicBlock d;
         d.hdist = 31;
         d.lengths.push_back(5);
         d.WriteHeader(b, true);
       }},
      {"over-subscribed bit-length code", InflateStatus::kBadBitLengthCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.bitlen_lengths[16] = 4;  // 17 codes of 4 bits
         d.WriteHeader(b, true);
       }},
      {"incomplete bit-length code", InflateStatus::kBadBitLengthCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.bitlen_lengths[15] = 0;  // 15 codes of 4 bits
         d.WriteHeader(b, true);
       }},
      {"a zero run past the last length", InflateStatus::kRepeatPastEnd,
       [](BitStream &b) {
         // 257 + 1 lengths; bit-length code: 1..15 of 4 bits, 0 and 18 of 5 (18 is 11111).
         b.Bits(1, 1), b.Bits(2, 2), b.Bits(0, 5), b.Bits(0, 5), b.Bits(15, 4);
         const int in_order[19] = {0, 0, 5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
         for (int length : in_order) b.Bits(static_cast<std::uint32_t>(length), 3);
         b.Code(0b11111, 5), b.Bits(127, 7);  // 138 zeros
         b.Code(0b11111, 5), b.Bits(127, 7);  // 138 more: past 258
       }},
      {"incomplete literal/length code", InflateStatus::kBadLiteralLengthCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.lengths[285] = 0;
         d.WriteHeader(b, true);
       }},
      {"over-subscribed literal/length code", InflateStatus::kBadLiteralLengthCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.lengths[285] = 8;
         d.WriteHeader(b, true);
       }},
      {"a distance code of one symbol (a lone code is incomplete)", InflateStatus::kBadDistanceCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.hdist = 1;
         d.lengths.resize(286);
         d.lengths.push_back(1);
         d.WriteHeader(b, true);
         DynamicBlock::Literal(b, 'a');
         DynamicBlock::EndOfBlock(b);
       }},
      {"a length code with no distance code at all", InflateStatus::kNoCode,
       [](BitStream &b) {
         DynamicBlock d;
         d.hdist = 1;
         d.lengths.resize(286);
         d.lengths.push_back(0);
         d.WriteHeader(b, true);
         DynamicBlock::Literal(b, 'a');
         b.Code(452 + (257 - 226), 9);  // length 3
         DynamicBlock::EndOfBlock(b);
       }},
      {"fixed code: length symbol 286", InflateStatus::kInvalidSymbol,
       [](BitStream &b) {
         b.Bits(1, 1), b.Bits(1, 2);
         b.Code(0b01100001, 8);  // 'a' is 0x30 + 0x61
         b.Code(0b11000110, 8);  // 286
         b.Bits(0, 16);
       }},
      {"fixed code: distance symbol 30", InflateStatus::kInvalidSymbol,
       [](BitStream &b) {
         b.Bits(1, 1), b.Bits(1, 2);
         b.Code(0x30 + 'a', 8);
         b.Code(0b0000001, 7);  // 257: length 3
         b.Code(30, 5);
         b.Bits(0, 16);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BitStream b;
    c.build(b);
    const Failure read = ReadAndExplain(b.Finish());
    EXPECT_EQ(read.data, "");
    EXPECT_EQ(read.last_read, -1);
    EXPECT_EQ(read.why, c.why);
  }
}

// The one form zlib reads and we refuse: a distance code of a single symbol (a lone code is
// incomplete). The same block with the whole distance code, the base of the corrupt forms
// above, is read by both.
TEST(GzCorruptTest, ALoneDistanceCodeIsRefusedWhereZlibReadsIt) {
  for (bool lone : {false, true}) {
    SCOPED_TRACE(lone ? "a lone distance code" : "the whole distance code");
    BitStream b;
    DynamicBlock d;
    if (lone) {
      d.hdist = 1;
      d.lengths.resize(286);
      d.lengths.push_back(1);
    }
    d.WriteHeader(b, true);
    for (char c : std::string("hello")) DynamicBlock::Literal(b, c);
    DynamicBlock::EndOfBlock(b);
    const Bytes stream = b.Finish() + Trailer("hello");
    Bytes zlib_out;
    std::size_t trailer = 0;
    ASSERT_TRUE(ZlibInflate(stream, &zlib_out, &trailer));
    EXPECT_EQ(zlib_out, "hello");
    const GzReadResult read = GzDecompress(stream);
    EXPECT_EQ(read.data, lone ? "" : "hello");
    EXPECT_EQ(read.last_read, lone ? -1 : 0);
    if (!lone) {
      EXPECT_EQ(read.close, 0);
    }
  }
}

TEST(GzCorruptTest, UnusualButValidFormsAreAccepted) {
  {
    // A stored block of length 0, then a fixed block.
    BitStream b;
    b.Bits(0, 1), b.Bits(0, 2), b.AlignToByte(), b.Bits(0, 16), b.Bits(0xFFFF, 16);
    b.Bits(1, 1), b.Bits(1, 2), b.Code(0x30 + 'z', 8), b.Code(0, 7);
    const GzReadResult read = ReadHandBuilt(b, "z");
    EXPECT_EQ(read.data, "z");
    EXPECT_EQ(read.close, 0);
  }
  {
    // A repeat of the previous length as the very first length repeats zeros (zlib refuses
    // it); a distance code whose lengths are all zero is fine in a block of literals only.
    // Bit-length codes: 0 00, 1 01, 16 10, 18 11. Literal code: 'a' 0, end of block 1.
    BitStream b;
    b.Bits(1, 1), b.Bits(2, 2), b.Bits(0, 5), b.Bits(0, 5), b.Bits(15, 4);
    const int in_order[19] = {2, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0};  // 16 17 18 0 8 ... 1 15
    for (int length : in_order) b.Bits(static_cast<std::uint32_t>(length), 3);
    b.Code(0b10, 2), b.Bits(0, 2);        // 16: three more of the previous (0)
    b.Code(0b11, 2), b.Bits(94 - 11, 7);  // zeros up to 'a'
    b.Code(0b01, 2);                      // 'a': 1
    b.Code(0b11, 2), b.Bits(138 - 11, 7);
    b.Code(0b11, 2), b.Bits(20 - 11, 7);       // zeros up to the end of block
    b.Code(0b01, 2);                           // end of block: 1
    b.Code(0b00, 2);                           // the one distance length: 0
    b.Code(0, 1), b.Code(0, 1), b.Code(1, 1);  // "aa", end of block
    const GzReadResult read = ReadHandBuilt(b, "aa");
    EXPECT_EQ(read.data, "aa");
    EXPECT_EQ(read.last_read, 0);
    EXPECT_EQ(read.close, 0);
  }
  {
    // Distance 1 repeating one byte 258 times, and a match crossing the window's end.
    const Bytes data = Bytes(4000, 'q') + TextLike(8000, 91);
    const GzReadResult read = GzDecompress(GzCompress(data), 0, 1);
    EXPECT_EQ(read.data, data);
  }
}

TEST(GzCorruptTest, StreamsCutShortFailOrStopCleanly) {
  const std::vector<Bytes> inputs = {"a", TextLike(3000, 101), BinaryLike(9000, 102), Bytes(5000, 'r')};
  for (const Bytes &input : inputs) {
    const Bytes stream = GzCompress(input);
    Bytes decoded;
    std::size_t deflate_end = 0;
    ASSERT_TRUE(ZlibInflate(stream, &decoded, &deflate_end));
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {
      SCOPED_TRACE(std::to_string(input.size()) + " cut at " + std::to_string(cut));
      const GzReadResult read = GzDecompress(stream.substr(0, cut), 0, 1000);
      ASSERT_EQ(read.data, input.substr(0, read.data.size()));
      if (cut < deflate_end) {
        EXPECT_EQ(read.last_read, -1);
        // The data is not damaged, only short: the reader says so.
        EXPECT_EQ(ReadAndExplain(stream.substr(0, cut)).why, gz::InflateStatus::kNeedsInput);
      }
      EXPECT_EQ(read.close == -1 || read.close == 0, true);
      if (read.last_read == 0) {
        EXPECT_EQ(read.close, -1);  // a trailer cut short never matches
      }
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
