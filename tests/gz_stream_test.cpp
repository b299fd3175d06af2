// The stream format through the exports: exact bytes, zlib as the peer both ways, damaged streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gz/reader_failure.h"
#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

using gz::InflateStatus;
using namespace std::string_literals;

// Bytes in which no three-byte string comes twice: every byte is one literal.
Bytes NoRepeats(std::size_t size, std::uint32_t seed) {
  std::vector<bool> seen(1u << 24);
  Bytes out = "\x01\x02";
  for (std::uint32_t state = seed, last_two = 0x0102; out.size() < size;) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t triple = last_two << 8 | (state >> 16 & 0xFF);
    if (seen[triple]) continue;
    seen[triple] = true;
    last_two = triple & 0xFFFF;
    out.push_back(static_cast<char>(triple));
  }
  return out;
}

// zlib's raw inflate, or nothing if zlib refuses the stream; `deflate_end`: where the deflate data ends.
std::optional<Bytes> ZlibInflate(const Bytes &stream, std::size_t *deflate_end = nullptr) {
  z_stream z{};
  inflateInit2(&z, -15);
  Bytes out(1 << 20, '\0');  // more than any stream here holds
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  if (deflate_end != nullptr) *deflate_end = stream.size() - z.avail_in;
  inflateEnd(&z);
  return status == Z_STREAM_END ? std::optional<Bytes>(out) : std::nullopt;
}

struct GzReadResult {
  Bytes data;
  int last_read = 0;  // the result that ended reading: 0 or -1
  int close = 0;      // YdrGZCloseRead's result
  InflateStatus why = InflateStatus::kDone;
};
// Decompresses by reads of `read_size`, the source handing out `feed_size` at most (0: as asked).
GzReadResult GzDecompress(const Bytes &stream, int level = 0, int read_size = 65536, int feed_size = 0) {
  GzReadResult result;
  MemorySource source(&stream, static_cast<std::size_t>(feed_size));
  YDRGZ handle = YdrGZOpenReadOfCustomMem(ReadFromMemory, &source, level);
  std::vector<char> buffer(static_cast<std::size_t>(read_size));
  while ((result.last_read = YdrGZRead(handle, buffer.data(), read_size)) > 0)
    result.data.append(buffer.data(), static_cast<std::size_t>(result.last_read));
  result.why = gz::ReaderFailure(handle);
  result.close = YdrGZCloseRead(handle);
  return result;
}

// Small streams worked out by hand; larger ones fixed by their size and CRC-32.
TEST(GzFormatTest, StreamsAreFixedToTheByte) {
  struct Case {
    const char *name;
    Bytes input;
    int level;
    Bytes deflate;  // the stream without its trailer; if empty, the stream's size and CRC:
    std::size_t size = 0;
    std::uint32_t crc = 0;
  };
  const Case cases[] = {
      {"open and close: one empty fixed-code block", "", 0, "\x03\x00"s},
      {"one byte", "a", 0, "\x4b\x04\x00"s},
      // Position 0 stands for no position: six literals.
      {"abcabc", "abcabc", 0, "\x4b\x4c\x4a\x4e\x4c\x4a\x06\x00"s},
      // 258 at distance 1, nothing inside it entered, then 40 at distance 258.
      {"300 x a", Bytes(300, 'a'), 0, "\x4b\x4c\x1c\x05\xc4\x86\x00\x00"s},
      // Heap ties keep the earlier symbol: a 00, b 01, d 10, c 110, end 111.
      {"de Bruijn text, a dynamic block", "aaabaacaadabbabcabdacbaccacdadbadcaddbbbcbbdbccbcdbdcbddcccdcdddaa", 0,
       "\x05\xc1\x01\x01\x00\x00\x00\x82\xa0\xad\x9a\xff\x37\x04\x80\x30\x08\xc5\x61\x4c\x36\x16\x49\xa3\xd4\x69\x6e"
       "\x2e\x9b\xb5\xad\x55\x70"s},
      {"text; the window slides 70 times", TextLike(300000, 1), 0, "", 70907, 0x03ab1fc9},
      {"text at level 1", TextLike(300000, 2), 1, "", 68791, 0xaae271a5},
      {"text at level 2", TextLike(300000, 3), 2, "", 67985, 0x24ec19f7},
      {"binary with runs and repeats", BinaryLike(200000, 4), 0, "", 92612, 0x7c7d7e0b},
      {"bytes without repeats (stored blocks), then text", NoRepeats(20000, 5) + TextLike(20000, 5), 0, "", 25270,
       0xc306a622},
      {"a long run", Bytes(100000, 'z'), 0, "", 462, 0xe768d841},
      // A full block is written before the end is known; one literal fewer fits the final block.
      {"4095 literals: a stored block, then an empty fixed one", NoRepeats(4095, 7), 0, "", 4110, 0xb37a3f82},
      {"4094 literals: one final stored block", NoRepeats(4094, 7), 0, "", 4107, 0x0355de95},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = GzCompress(c.input, c.level);
    if (!c.deflate.empty()) {
      EXPECT_EQ(stream, c.deflate + Trailer(c.input));
    } else {
      EXPECT_EQ(stream.size(), c.size);
      EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef *>(stream.data()), static_cast<uInt>(stream.size())), c.crc);
    }
  }
  // A zero-byte write ends an empty stream; closing adds a second block, which reads as the trailer.
  Bytes out;
  YDRGZ writer = YdrGZOpenWrite(AppendToBytes, &out);
  EXPECT_EQ(YdrGZWrite(writer, "", 0), 0);
  EXPECT_EQ(YdrGZCloseWrite(writer), 0);
  EXPECT_EQ(out, "\x03\x00\x03\x00"s + Trailer(""));
  EXPECT_EQ(GzDecompress(out).close, -1);
}

// Every short period at many lengths: the decoder's special copies (runs, periods under 8 and 16).
Bytes ShortPeriods() {
  std::mt19937 rng(99);
  Bytes out;
  for (int period = 1; period <= 20; ++period) {
    for (int length : {3, 7, 8, 9, 15, 16, 17, 31, 40, 100, 258, 300}) {
      const Bytes unit = Noise(static_cast<std::size_t>(period), rng());
      for (int i = 0; i < period + length; ++i) out += unit[static_cast<std::size_t>(i % period)];
      out += static_cast<char>(rng());
    }
  }
  return out;
}

// Ours at every level and split any way read by zlib and by us; zlib's, every level and strategy, by us.
TEST(GzRoundTripTest, OursAndZlibsStreamsReadBothWaysInAnyPieces) {
  const std::pair<const char *, Bytes> inputs[] = {
      {"empty", ""},
      {"short periods", ShortPeriods()},
      {"text", TextLike(60000, 21)},
      {"binary", BinaryLike(60000, 22)},
      {"noise", Noise(30000, 99)},
      {"run", Bytes(20000, '\0')},
      {"mixed", TextLike(10000, 23) + Noise(5000, 98) + BinaryLike(10000, 24)}};
  // Read sizes and the pieces the source hands out (0: as asked), taken in turn.
  const std::pair<int, int> reads[] = {{1, 0}, {1, 1}, {4096, 1}, {3, 7}, {100000, 0}, {8192, 4095}, {7000, 0}};
  std::size_t turn = 0;
  for (const auto &[name, data] : inputs) {
    SCOPED_TRACE(name);
    std::vector<std::pair<std::string, int>> to_read;  // a stream and the memory level to read it at
    for (int level = 0; level <= 2; ++level) {
      SCOPED_TRACE("level " + std::to_string(level));
      const Bytes stream = GzCompress(data, level);
      for (std::size_t chunk = 1; chunk <= 64; ++chunk) ASSERT_EQ(GzCompress(data, level, chunk), stream) << chunk;
      for (std::size_t chunk : {255u, 4096u, 4097u, 8191u, 30001u})
        ASSERT_EQ(GzCompress(data, level, chunk), stream) << chunk;
      std::size_t trailer = 0;
      EXPECT_EQ(ZlibInflate(stream, &trailer), data);
      EXPECT_EQ(stream.substr(trailer), Trailer(data));
      for (int read_level = level; read_level <= 2; ++read_level) to_read.emplace_back(stream, read_level);
    }
    for (int level : {3, -1}) EXPECT_EQ(GzCompress(data, level), to_read[0].first) << "unknown level " << level;
    for (int zlib_level = 1; zlib_level <= 9; ++zlib_level) {
      for (int strategy = 0; strategy <= 4; ++strategy) {  // default, filtered, huffman only, RLE, fixed
        // The reader's window must reach as far back as the writer's: 4, 8 or 32 KiB.
        const int level = (zlib_level + strategy) % 3;
        to_read.emplace_back(ZlibStream(data, zlib_level, level == 0 ? 12 : level == 1 ? 13 : 15, strategy), level);
      }
    }
    for (std::size_t i = 0; i < to_read.size(); ++i) {
      const auto [read_size, feed_size] = reads[turn++ % std::size(reads)];
      SCOPED_TRACE("stream " + std::to_string(i) + " read at " + std::to_string(to_read[i].second) + " by " +
                   std::to_string(read_size) + ", fed " + std::to_string(feed_size));
      const GzReadResult read = GzDecompress(to_read[i].first, to_read[i].second, read_size, feed_size);
      EXPECT_EQ(std::tie(read.data, read.last_read, read.close), std::make_tuple(data, 0, 0));
    }
  }
}

// Close counts the bytes beyond the trailer (less one the decoder held) whatever the resets, or fails.
TEST(GzRoundTripTest, CloseCountsTheBytesBeyondTheTrailerAfterAnyResetOrFails) {
  std::vector<Bytes> inputs = {Bytes("a"), Bytes(""), Bytes(70000, 'z')};
  for (std::uint32_t seed = 0; seed < 40; ++seed) inputs.push_back(TextLike(30000 + 37 * seed, seed));
  int read_ahead_cases = 0;
  for (const Bytes &data : inputs) {
    const Bytes stream = GzCompress(data) + Bytes(100, 'x');
    std::set<int> closes;
    for (int reset = 0; reset < 3; ++reset) {  // none, at the start, after the end
      SCOPED_TRACE(std::to_string(data.size()) + " reset " + std::to_string(reset));
      MemorySource source{&stream, data.size() % 2 == 0 ? 0u : 5u};
      YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
      EXPECT_EQ(reset == 1 ? YdrGZRead(reader, nullptr, 0) : 0, 0);
      Bytes out(data.size() + 1, '\0');
      int got = 0, n;
      while ((n = YdrGZRead(reader, out.data() + got, static_cast<int>(out.size()) - got)) > 0) got += n;
      EXPECT_EQ(n, 0);
      EXPECT_EQ(out.substr(0, static_cast<std::size_t>(got)), data);
      EXPECT_EQ(YdrGZRead(reader, out.data(), 1), 0);  // after the end
      EXPECT_EQ(reset == 2 ? YdrGZRead(reader, nullptr, 0) : 0, 0);
      closes.insert(YdrGZCloseRead(reader));
    }
    EXPECT_EQ(closes.size(), 1u);
    EXPECT_TRUE(*closes.begin() == 100 || (*closes.begin() == 99 && data != "a")) << *closes.begin();
    read_ahead_cases += *closes.begin() == 99;
  }
  EXPECT_GT(read_ahead_cases, 0);
  const Bytes stream = GzCompress(inputs.back());
  EXPECT_EQ(GzDecompress(stream.substr(0, stream.size() - 1) + static_cast<char>(stream.back() ^ 1)).close, -1);
  MemorySource source{&stream};
  YDRGZ reader = YdrGZOpenRead(ReadFromMemory, &source);
  char buffer[10];
  EXPECT_EQ(YdrGZRead(reader, buffer, 10), 10);
  EXPECT_EQ(YdrGZCloseRead(reader), 0);  // closed inside a block with its own codes: not checked
}

// Read at a smaller memory level, far matches copy wrong bytes and only close finds out.
TEST(GzRoundTripTest, AStreamReadsBackOnlyAtItsMemoryLevelOrLarger) {
  // Names clear of the Windows headers' `near` and `far`.
  const Bytes near_one = Noise(6000, 5), far_one = Noise(20000, 6);
  const Bytes data = near_one + near_one + far_one + far_one;
  for (int written = 0; written <= 2; ++written) {
    const Bytes stream = GzCompress(data, written);
    for (int read = 0; read <= 2; ++read) {
      SCOPED_TRACE("written at " + std::to_string(written) + ", read at " + std::to_string(read));
      const GzReadResult r = GzDecompress(stream, read);
      EXPECT_EQ(std::make_tuple(r.last_read, r.data.size(), r.data == data, r.close),
                std::make_tuple(0, data.size(), read >= written, read >= written ? 0 : -1));
    }
  }
}

TEST(GzRoundTripTest, NullHandlesAndBadArgumentsFail) {
  char byte = 0;
  EXPECT_EQ(YdrGZWrite(nullptr, &byte, 1), -1);
  EXPECT_EQ(YdrGZCloseWrite(nullptr), -1);
  EXPECT_EQ(YdrGZRead(nullptr, &byte, 1), -1);
  EXPECT_EQ(YdrGZCloseRead(nullptr), -1);
  EXPECT_EQ(YdrGZOpenWrite(nullptr, nullptr), nullptr);
  EXPECT_EQ(YdrGZOpenRead(nullptr, nullptr), nullptr);

  Bytes out;
  YDRGZ writer = YdrGZOpenWrite(AppendToBytes, &out);
  EXPECT_EQ(YdrGZWrite(writer, nullptr, 5), -1);
  EXPECT_EQ(YdrGZWrite(writer, &byte, -2), -1);
  EXPECT_EQ(YdrGZRead(writer, &byte, 1), -1);  // a writer is not a reader
  EXPECT_EQ(YdrGZCloseRead(writer), -1);
  EXPECT_EQ(YdrGZCloseWrite(writer), 0);

  YDRGZ reader = YdrGZOpenRead([](YDRGZ, void *, void *, int) { return 0; }, nullptr);
  EXPECT_EQ(YdrGZWrite(reader, &byte, 1), -1);
  EXPECT_EQ(YdrGZRead(reader, nullptr, 0), 0);  // reset
  EXPECT_EQ(YdrGZRead(reader, &byte, 0), 0);
  EXPECT_EQ(YdrGZRead(reader, &byte, -1), -1);
  EXPECT_EQ(YdrGZRead(reader, &byte, 1), -1);  // no data at all
  EXPECT_EQ(YdrGZCloseRead(reader), -1);
}

// Over 4 GiB of stored blocks, made as they are read: close's byte counters must not wrap.
TEST(GzRoundTripTest, ReadAheadCountPastFourGibibytesOfInput) {
#ifndef NDEBUG
  GTEST_SKIP() << "decodes 4 GiB: run in the optimised build";
#endif
  struct StoredBlocks {  // handed out to the end of a block at most, the last one final
    std::uint64_t left = (std::uint64_t{1} << 32) / 65535 + 2;
    Bytes block = Bytes("\0\xFF\xFF\0\0", 5) + Bytes(65535, '\0');
    Bytes tail;  // the trailer and what follows it
    std::size_t at = 0;
  } source;
  const std::uint64_t total = source.left * 65535;
  const uLong block_crc = crc32(0, reinterpret_cast<const Bytef *>(source.block.data() + 5), 65535);
  uLong crc = crc32(0, nullptr, 0);
  for (std::uint64_t i = 0; i < source.left; ++i) crc = crc32_combine(crc, block_crc, 65535);
  for (int i = 0; i < 8; ++i) source.tail.push_back(static_cast<char>((i < 4 ? crc : total) >> (8 * (i % 4))));
  source.tail += Bytes(100, 'x');

  YDRGZ reader = YdrGZOpenRead(
      [](YDRGZ, void *user, void *buffer, int count) {
        auto &s = *static_cast<StoredBlocks *>(user);
        const Bytes &from = s.left > 0 ? s.block : s.tail;
        const std::size_t take = std::min<std::size_t>(from.size() - s.at, static_cast<std::size_t>(count));
        std::memcpy(buffer, from.data() + s.at, take);
        if (s.left == 1 && s.at == 0 && take > 0) *static_cast<char *>(buffer) = 1;
        s.at += take;
        if (s.left > 0 && s.at == from.size()) {
          --s.left;
          s.at = 0;
        }
        return static_cast<int>(take);
      },
      &source);
  std::vector<char> out(1 << 20);
  std::uint64_t decoded = 0;
  int n;
  while ((n = YdrGZRead(reader, out.data(), static_cast<int>(out.size()))) > 0)
    decoded += static_cast<std::uint64_t>(n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(decoded, total);
  const int close = YdrGZCloseRead(reader);
  EXPECT_TRUE(close == 100 || close == 99) << close;
}

// A final dynamic block to edit: bit lengths of 4 bits, literals of 8, 226 on of 9, distances 4 and 5.
struct DynamicBlock {
  std::vector<int> bitlen = std::vector<int>(19, 4);  // by symbol; 16..18 unused below
  std::vector<int> litlen = std::vector<int>(286, 8);
  std::vector<int> dist = std::vector<int>(30, 5);

  DynamicBlock() {
    bitlen[16] = bitlen[17] = bitlen[18] = 0;
    std::fill(litlen.begin() + 226, litlen.end(), 9);
    dist[0] = dist[1] = 4;
  }
  void Write(BitStream &b, const std::string &text) const {
    b.Bits(5, 3).Bits(static_cast<std::uint32_t>(litlen.size() - 257), 5);
    b.Bits(static_cast<std::uint32_t>(dist.size() - 1), 5).Bits(15, 4);  // all 19 bit-length code lengths
    for (int s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
      b.Bits(static_cast<std::uint32_t>(bitlen[static_cast<std::size_t>(s)]), 3);
    for (const auto *code : {&litlen, &dist})
      for (int length : *code) b.Code(static_cast<std::uint32_t>(length), 4);
    for (char c : text) b.Code(static_cast<unsigned char>(c), 8);
    if (!text.empty()) b.Code(452 + (256 - 226), 9);  // end of block
  }
};

TEST(GzCorruptTest, EachHandBuiltFormIsReadOrRejectedForItsOwnReason) {
  struct Case {
    const char *name;
    InflateStatus why;
    const char *zlib_data;                  // what zlib reads (and we, if `why` is kDone); null: zlib refuses
    void (*edit)(DynamicBlock &d);          // a dynamic block, changed so, with `zlib_data` in it
    void (*build)(BitStream &b) = nullptr;  // or these bits
  };
  const Case cases[] = {
      {"more than 286 literal/length codes", InflateStatus::kTooManyCodes, nullptr,
       [](DynamicBlock &d) { d.litlen.push_back(9); }},
      {"more than 30 distance codes", InflateStatus::kTooManyCodes, nullptr,
       [](DynamicBlock &d) { d.dist.push_back(5); }},
      {"over-subscribed bit-length code", InflateStatus::kBadBitLengthCode, nullptr,
       [](DynamicBlock &d) { d.bitlen[16] = 4; }},
      {"incomplete bit-length code", InflateStatus::kBadBitLengthCode, nullptr,
       [](DynamicBlock &d) { d.bitlen[15] = 0; }},
      {"incomplete literal/length code", InflateStatus::kBadLiteralLengthCode, nullptr,
       [](DynamicBlock &d) { d.litlen[285] = 0; }},
      {"over-subscribed literal/length code", InflateStatus::kBadLiteralLengthCode, nullptr,
       [](DynamicBlock &d) { d.litlen[285] = 8; }},
      // The one form zlib reads and we refuse: a lone code is incomplete.
      {"a distance code of one symbol", InflateStatus::kBadDistanceCode, "a", [](DynamicBlock &d) { d.dist = {1}; }},
      {"the whole simple dynamic code", InflateStatus::kDone, "hello", [](DynamicBlock &) {}},
      {"a length code with no distance code at all", InflateStatus::kNoCode, nullptr, nullptr,
       [](BitStream &b) {
         DynamicBlock d;
         d.dist = {0};
         d.Write(b, "");
         b.Code('a', 8).Code(452 + (257 - 226), 9).Code(452 + (256 - 226), 9);  // 'a', length 3, end
       }},
      {"block type 3", InflateStatus::kBadBlockType, nullptr, nullptr, [](BitStream &b) { b.Bits(7, 3).Bits(0, 16); }},
      {"stored length check fails", InflateStatus::kStoredLengthMismatch, nullptr, nullptr,
       [](BitStream &b) { b.Bits(1, 3).AlignToByte().Bits(5, 16).Bits(0xFFFA ^ 1, 16).Bits(0, 40); }},
      {"fixed code: length symbol 286", InflateStatus::kInvalidSymbol, nullptr, nullptr,
       [](BitStream &b) { b.Bits(3, 3).Code(0x30 + 'a', 8).Code(0b11000110, 8).Bits(0, 16); }},
      {"fixed code: distance symbol 30", InflateStatus::kInvalidSymbol, nullptr, nullptr,
       [](BitStream &b) { b.Bits(3, 3).Code(0x30 + 'a', 8).Code(1, 7).Code(30, 5).Bits(0, 16); }},
      {"a stored block of length 0, then a fixed block", InflateStatus::kDone, "z", nullptr,
       [](BitStream &b) { b.Bits(0, 3).AlignToByte().Bits(0xFFFF0000, 32).Bits(3, 3).Code(0x30 + 'z', 8).Code(0, 7); }},
      {"a zero run past the last length", InflateStatus::kRepeatPastEnd, nullptr, nullptr,
       [](BitStream &b) {
         // Bit-length code: 1..15 of 4 bits, 0 and 18 of 5 (18 is 11111).
         b.Bits(5, 3).Bits(0, 10).Bits(15, 4);
         for (int length : {0, 0, 5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4})
           b.Bits(static_cast<std::uint32_t>(length), 3);
         b.Code(0b11111, 5).Bits(127, 7).Code(0b11111, 5).Bits(127, 7);  // 138 zeros twice: past 258
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BitStream b;
    if (c.edit != nullptr) {
      DynamicBlock d;
      c.edit(d);
      d.Write(b, c.zlib_data != nullptr ? c.zlib_data : "");
    } else {
      c.build(b);
    }
    const bool done = c.why == InflateStatus::kDone;  // close checks a whole stream only
    const Bytes data = done ? c.zlib_data : "";
    const Bytes stream = b.Finish() + Trailer(data);
    EXPECT_EQ(ZlibInflate(stream), c.zlib_data != nullptr ? std::optional<Bytes>(c.zlib_data) : std::nullopt);
    const GzReadResult read = GzDecompress(stream);
    EXPECT_EQ(std::make_tuple(read.data, read.why, read.last_read, done ? read.close : 0),
              std::make_tuple(data, c.why, done ? 0 : -1, 0));
  }
}

TEST(GzCorruptTest, StreamsCutShortFailOrStopCleanly) {
  for (const Bytes &input : {Bytes("a"), TextLike(3000, 101), BinaryLike(9000, 102), Bytes(5000, 'r')}) {
    const Bytes stream = GzCompress(input);
    std::size_t deflate_end = 0;
    ASSERT_TRUE(ZlibInflate(stream, &deflate_end));
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {
      SCOPED_TRACE(std::to_string(input.size()) + " cut at " + std::to_string(cut));
      const GzReadResult read = GzDecompress(stream.substr(0, cut), 0, 1000);
      ASSERT_EQ(read.data, input.substr(0, read.data.size()));
      // Short deflate data is not corrupt data; a short trailer never matches.
      const bool short_data = cut < deflate_end;
      EXPECT_EQ(std::make_pair(read.why, read.last_read),
                std::make_pair(short_data ? InflateStatus::kNeedsInput : InflateStatus::kDone, short_data ? -1 : 0));
      EXPECT_TRUE(read.close == -1 || (read.close == 0 && short_data)) << read.close;
    }
  }
}

}  // namespace
}  // namespace ydr::test
