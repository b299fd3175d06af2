// The compressor's exact output. The small cases are worked out by hand below each one; the
// larger ones are fixed by a digest of the stream, each checked when it was recorded (and
// again here) by zlib decoding it and by the kinds of blocks it holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

Bytes Hex(std::initializer_list<int> bytes) {
  Bytes b;
  for (int x : bytes) b.push_back(static_cast<char>(x));
  return b;
}

TEST(GzFormatTest, SmallStreamsWorkedOutByHand) {
  struct Case {
    const char *name;
    Bytes input;
    bool zero_byte_write_first;
    Bytes deflate;  // the stream without its 8-byte trailer
  };
  const Case cases[] = {
      // Open and close: one empty final block in fixed codes. Bits, first to last: 1 (final),
      // 1 0 (type 1, least significant bit first), 0000000 (end of block, 7-bit code 0).
      // Byte 0 = 0b00000011, byte 1 holds the last two zero bits.
      {"open and close", "", false, Hex({0x03, 0x00})},
      // A zero-byte write ends an empty stream at once; closing writes a second one.
      {"zero-byte write", "", true, Hex({0x03, 0x00, 0x03, 0x00})},
      // "a": header 1,1,0; literal 0x61 in the fixed code is 0x30 + 0x61 = 0x91 = 10010001 in 8
      // bits, sent from its top bit; then end of block. Bits: 110 10010001 0000000 ->
      // 0b01001011 = 0x4b, 0b00000100 = 0x04, 0x00.
      {"one byte", "a", false, Hex({0x4b, 0x04, 0x00})},
      // "abcabc": at the fourth byte the only earlier "abc" is at position 0, which stands for
      // no position, so all six are literals: 3 + 6 x 8 + 7 = 58 bits, 8 bytes; stored would
      // be 6 + 4 = 10 bytes, and the block's own codes cost more to describe.
      {"abcabc", "abcabc", false, Hex({0x4b, 0x4c, 0x4a, 0x4e, 0x4c, 0x4a, 0x06, 0x00})},
      // 300 x 'a': literals at 0 and 1; at 2 the chain gives position 1: a match of 258 at
      // distance 1 (code 285 = 11000101, distance code 0 = 00000). It is longer than 6, so
      // nothing inside it is entered; at 260 the restarted hash finds position 2: the last
      // 40 bytes match at distance 258 (code 273 = 0010001 with extra 5 in 3 bits; distance
      // code 16 = 10000 with extra 1 in 7 bits). Then end of block.
      {"300 x a", Bytes(300, 'a'), false, Hex({0x4b, 0x4c, 0x1c, 0x05, 0xc4, 0x86, 0x00, 0x00})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out;
    YDRGZ stream = YdrGZOpenWrite(AppendToBytes, &out);
    if (c.zero_byte_write_first) {
      EXPECT_EQ(YdrGZWrite(stream, c.input.data(), 0), 0);
    }
    if (!c.input.empty()) {
      EXPECT_EQ(YdrGZWrite(stream, c.input.data(), static_cast<int>(c.input.size())), static_cast<int>(c.input.size()));
    }
    EXPECT_EQ(YdrGZCloseWrite(stream), 0);
    EXPECT_EQ(out, c.deflate + Trailer(c.input));
  }
}

TEST(GzFormatTest, ZeroByteWriteStreamReadsAsEmptyWithAMismatchingTrailer) {
  // The reader stops after the first final block; the "trailer" it then finds is the
  // second empty block and four bytes of the real trailer.
  Bytes out;
  YDRGZ stream = YdrGZOpenWrite(AppendToBytes, &out);
  YdrGZWrite(stream, "", 0);
  YdrGZCloseWrite(stream);
  const GzReadResult read = GzDecompress(out);
  EXPECT_EQ(read.data, "");
  EXPECT_EQ(read.last_read, 0);
  EXPECT_EQ(read.close, -1);
}

TEST(GzFormatTest, ShortTextGivesADynamicBlock) {
  // A de Bruijn sequence over a..d: every three-letter string once, so 66 literals and no
  // match. Frequencies: a 18, b 16, c 16, d 16, end of block 1.
  const Bytes input = "aaabaacaadabbabcabdacbaccacdadbadcaddbbbcbbdbccbcdbdcbddcccdcdddaa";
  ASSERT_EQ(input.size(), 66u);
  // The literal/length tree, by the heap (frequency, then depth; ties keep the earlier):
  // end(1)+c(16) -> N1(17); b(16)+d(16) -> N2(32); N1+a(18) -> N3(35); N2+N3 -> root.
  // Lengths: a 2, b 2, d 2, c 3, end 3; canonical codes a 00, b 01, d 10, c 110, end 111.
  // No match: the distance tree is two dummy codes 0 and 1 of length 1.
  // Lengths described: 97 zeros (18 + 86), 2 2 3 2, 155 zeros (18 + 127, 18 + 6), 3; then 1 1.
  // Bit-length frequencies 1:2, 2:3, 3:2, 18:3 give four codes of length 2: 1 00, 2 01,
  // 3 10, 18 11; the last non-zero length in the sending order is symbol 1's, the 18th.
  // Costs: data 151 bits, tree description 41 + 3 x 18 + 14 -> 33 bytes; fixed codes 68,
  // stored 70: the block's own codes win.
  BitStream expected;
  expected.Bits(1, 1);                                                                    // final
  expected.Bits(2, 2);                                                                    // dynamic
  expected.Bits(0, 5);                                                                    // 257 literal/length codes
  expected.Bits(1, 5);                                                                    // 2 distance codes
  expected.Bits(14, 4);                                                                   // 18 bit-length code lengths
  const int bitlen_lengths[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 2};  // 16 17 18 0 8 7 ...
  for (int length : bitlen_lengths) expected.Bits(static_cast<std::uint32_t>(length), 3);
  const auto length_code = [&](int symbol) {
    const int codes[19] = {0, 0b00, 0b01, 0b10};
    if (symbol == 18) {
      expected.Code(0b11, 2);
    } else {
      expected.Code(static_cast<std::uint32_t>(codes[symbol]), 2);
    }
  };
  length_code(18), expected.Bits(97 - 11, 7);
  length_code(2), length_code(2), length_code(3), length_code(2);
  length_code(18), expected.Bits(138 - 11, 7);
  length_code(18), expected.Bits(17 - 11, 7);
  length_code(3);
  length_code(1), length_code(1);
  for (char c : input) {
    if (c == 'c') {
      expected.Code(0b110, 3);
    } else {
      expected.Code(static_cast<std::uint32_t>(c == 'a' ? 0b00 : c == 'b' ? 0b01 : 0b10), 2);
    }
  }
  expected.Code(0b111, 3);  // end of block
  const Bytes deflate = expected.Finish();
  EXPECT_EQ(deflate.size(), 33u);
  EXPECT_EQ(GzCompress(input), deflate + Trailer(input));

  Bytes decoded;
  std::size_t trailer = 0;
  ASSERT_TRUE(ZlibInflate(deflate + Trailer(input), &decoded, &trailer));
  EXPECT_EQ(decoded, input);
}

// Bytes in which no three-byte string comes twice, so the matcher finds nothing: every
// byte is one literal.
Bytes NoRepeats(std::size_t size, std::uint32_t seed) {
  std::vector<bool> seen(1u << 24);
  std::uint32_t state = seed;
  Bytes out = "\x01\x02";
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    const auto next = static_cast<unsigned char>(state >> 16);
    const std::uint32_t triple = static_cast<std::uint32_t>(static_cast<unsigned char>(out[out.size() - 2])) << 16 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(out.back())) << 8 | next;
    if (seen[triple]) continue;
    seen[triple] = true;
    out.push_back(static_cast<char>(next));
  }
  return out;
}

TEST(GzFormatTest, ABlockEndsAfter4095Symbols) {
  // 4095 literals fill a block, which is written (stored: the cheapest for such bytes) before
  // the end of the input is known; the end then gives an empty final block.
  std::vector<BlockHeader> full = WalkBlocks(GzCompress(NoRepeats(4095, 7)));
  ASSERT_EQ(full.size(), 2u);
  EXPECT_EQ(full[0].type, 0);
  EXPECT_FALSE(full[0].final);
  EXPECT_EQ(full[1].type, 1);
  EXPECT_TRUE(full[1].final);
  // One literal fewer fits in the final block.
  std::vector<BlockHeader> short_of_it = WalkBlocks(GzCompress(NoRepeats(4094, 7)));
  ASSERT_EQ(short_of_it.size(), 1u);
  EXPECT_EQ(short_of_it[0].type, 0);
  EXPECT_TRUE(short_of_it[0].final);
}

struct Fixture {
  const char *name;
  Bytes input;
  int level;
  std::size_t size;        // of the stream
  std::uint32_t crc;       // of the stream
  std::vector<int> kinds;  // block types that appear, in the order of their first appearance
};

std::vector<int> KindsInOrder(const std::vector<BlockHeader> &blocks) {
  std::vector<int> kinds;
  for (const BlockHeader &b : blocks) {
    if (std::find(kinds.begin(), kinds.end(), b.type) == kinds.end()) kinds.push_back(b.type);
  }
  return kinds;
}

TEST(GzFormatTest, LargerStreamsAreFixed) {
  const Fixture fixtures[] = {
      {"text; the window slides 70 times", TextLike(300000, 1), 0, 70907, 0x03ab1fc9, {2}},
      {"text at level 1", TextLike(300000, 2), 1, 68791, 0xaae271a5, {2}},
      {"text at level 2", TextLike(300000, 3), 2, 67985, 0x24ec19f7, {2}},
      {"binary with runs and repeats", BinaryLike(200000, 4), 0, 92612, 0x7c7d7e0b, {2}},
      {"bytes without repeats, then text", NoRepeats(20000, 5) + TextLike(20000, 5), 0, 25270, 0xc306a622, {0, 2}},
      {"a long run", Bytes(100000, 'z'), 0, 462, 0xe768d841, {2}},
      {"a full stored block, then a short fixed one", NoRepeats(4095, 9) + "hello", 0, 4115, 0x00994286, {0, 1}},
  };
  for (const Fixture &f : fixtures) {
    SCOPED_TRACE(f.name);
    const Bytes stream = GzCompress(f.input, f.level);
    Bytes decoded;
    std::size_t trailer = 0;
    ASSERT_TRUE(ZlibInflate(stream, &decoded, &trailer));
    EXPECT_EQ(decoded, f.input);
    EXPECT_EQ(stream.substr(trailer), Trailer(f.input));
    EXPECT_EQ(KindsInOrder(WalkBlocks(stream)), f.kinds);
    EXPECT_EQ(stream.size(), f.size);
    EXPECT_EQ(ZlibCrc(stream), f.crc);
  }
}

}  // namespace
}  // namespace ydr::test
