// The compressor's exact output. The small cases are worked out by hand beside each one; the
// larger ones are fixed by a digest of the stream, each checked when it was recorded (and
// again here) by zlib decoding it.
#include <gtest/gtest.h>

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
    int close;      // reading it back, the close result
  };
  const Case cases[] = {
      // Open and close: one empty final block in fixed codes. Bits, first to last: 1 (final),
      // 1 0 (type 1, least significant bit first), 0000000 (end of block, 7-bit code 0).
      {"open and close", "", false, Hex({0x03, 0x00}), 0},
      // A zero-byte write ends an empty stream at once; closing writes a second one. The reader
      // stops after the first final block and takes the second one as part of the trailer.
      {"zero-byte write", "", true, Hex({0x03, 0x00, 0x03, 0x00}), -1},
      // "a": header 1,1,0; literal 0x61 in the fixed code is 0x30 + 0x61 = 0x91 = 10010001 in 8
      // bits, sent from its top bit; then end of block: 110 10010001 0000000.
      {"one byte", "a", false, Hex({0x4b, 0x04, 0x00}), 0},
      // "abcabc": at the fourth byte the only earlier "abc" is at position 0, which stands for
      // no position, so all six are literals: 3 + 6 x 8 + 7 = 58 bits, 8 bytes; stored would
      // be 6 + 4 = 10 bytes, and the block's own codes cost more to describe.
      {"abcabc", "abcabc", false, Hex({0x4b, 0x4c, 0x4a, 0x4e, 0x4c, 0x4a, 0x06, 0x00}), 0},
      // 300 x 'a': literals at 0 and 1; at 2 the chain gives position 1: a match of 258 at
      // distance 1 (code 285 = 11000101, distance code 0 = 00000). It is longer than 6, so
      // nothing inside it is entered; at 260 the restarted hash finds position 2: the last
      // 40 bytes match at distance 258 (code 273 = 0010001 with extra 5 in 3 bits; distance
      // code 16 = 10000 with extra 1 in 7 bits). Then end of block.
      {"300 x a", Bytes(300, 'a'), false, Hex({0x4b, 0x4c, 0x1c, 0x05, 0xc4, 0x86, 0x00, 0x00}), 0},
      // A de Bruijn sequence over a..d: 66 literals, no match; a 18, b 16, c 16, d 16, end 1.
      // The literal/length tree by the heap (frequency, then depth; ties keep the earlier):
      // end+c -> N1(17); b+d -> N2(32); N1+a -> N3(35); N2+N3: a 00, b 01, d 10, c 110, end
      // 111. No match: two dummy distance codes of length 1. Lengths sent: 18 (97 zeros), 2 2
      // 3 2, 18 (138), 18 (17), 3, 1 1, with the bit-length code 1 00, 2 01, 3 10, 18 11 (18
      // lengths in the sending order). Data 151 bits, description 114: 33 bytes; fixed codes
      // 68, stored 70: the block's own codes win.
      {"short text, a dynamic block", "aaabaacaadabbabcabdacbaccacdadbadcaddbbbcbbdbccbcdbdcbddcccdcdddaa", false,
       Hex({0x05, 0xc1, 0x01, 0x01, 0x00, 0x00, 0x00, 0x82, 0xa0, 0xad, 0x9a, 0xff, 0x37, 0x04, 0x80, 0x30, 0x08,
            0xc5, 0x61, 0x4c, 0x36, 0x16, 0x49, 0xa3, 0xd4, 0x69, 0x6e, 0x2e, 0x9b, 0xb5, 0xad, 0x55, 0x70}),
       0},
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
    const GzReadResult read = GzDecompress(out);
    EXPECT_EQ(read.data, c.input);
    EXPECT_EQ(read.last_read, 0);
    EXPECT_EQ(read.close, c.close);
  }
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

TEST(GzFormatTest, LargerStreamsAreFixed) {
  const struct {
    const char *name;
    Bytes input;
    int level;
    std::size_t size;   // of the stream
    std::uint32_t crc;  // of the stream
  } fixtures[] = {
      {"text; the window slides 70 times", TextLike(300000, 1), 0, 70907, 0x03ab1fc9},
      {"text at level 1", TextLike(300000, 2), 1, 68791, 0xaae271a5},
      {"text at level 2", TextLike(300000, 3), 2, 67985, 0x24ec19f7},
      {"binary with runs and repeats", BinaryLike(200000, 4), 0, 92612, 0x7c7d7e0b},
      {"bytes without repeats (stored blocks), then text", NoRepeats(20000, 5) + TextLike(20000, 5), 0, 25270,
       0xc306a622},
      {"a long run", Bytes(100000, 'z'), 0, 462, 0xe768d841},
      {"a full stored block, then a short fixed one", NoRepeats(4095, 9) + "hello", 0, 4115, 0x00994286},
      // 4095 literals fill a block, written (stored) before the end of the input is known; the
      // end then gives an empty final block. One literal fewer fits in the final block.
      {"4095 literals: a stored block, then an empty fixed one", NoRepeats(4095, 7), 0, 4110, 0xb37a3f82},
      {"4094 literals: one final stored block", NoRepeats(4094, 7), 0, 4107, 0x0355de95},
  };
  for (const auto &f : fixtures) {
    SCOPED_TRACE(f.name);
    const Bytes stream = GzCompress(f.input, f.level);
    Bytes decoded;
    std::size_t trailer = 0;
    ASSERT_TRUE(ZlibInflate(stream, &decoded, &trailer));
    EXPECT_EQ(decoded, f.input);
    EXPECT_EQ(stream.substr(trailer), Trailer(f.input));
    EXPECT_EQ(stream.size(), f.size);
    EXPECT_EQ(ZlibCrc(stream), f.crc);
  }
}

}  // namespace
}  // namespace ydr::test
