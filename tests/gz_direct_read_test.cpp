// Whole windows read straight into the caller's buffer: whatever the sizes, the window-by-window session.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/guarded_buffer.h"
#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

int WindowSize(int level) { return level == 2 ? 65536 : level == 1 ? 8192 : 4096; }

// Everything a caller can see of one reading session.
struct Session {
  Bytes data;       // all bytes delivered, in order, with each reset and the first end or failure after it marked
  Bytes callbacks;  // each callback call: bytes asked and handed out
  int close = 0;
};

constexpr int kReset = -2;  // in a plan: reset the reader instead of reading

// Reads by `plan` (sizes or kReset), then by `tail`, and closes.
Session Read(const Bytes &stream, int level, const std::vector<int> &plan, int tail, std::size_t piece = 0) {
  Session s;
  std::pair<MemorySource, Bytes> source{MemorySource(&stream, piece), ""};  // and the log of its calls
  YDRGZ reader = YdrGZOpenReadOfCustomMem(
      [](YDRGZ handle, void *user, void *buffer, int count) {
        auto *source = static_cast<std::pair<MemorySource, Bytes> *>(user);
        const int n = ReadFromMemory(handle, &source->first, buffer, count);
        source->second += std::to_string(count) + ">" + std::to_string(n) + " ";
        return n;
      },
      &source, level);
  bool stopped = false;  // the stream ended or failed: later results repeat it
  const auto read = [&](int size) {
    GuardedBuffer<char> buffer(static_cast<std::size_t>(size));
    int got = YdrGZRead(reader, buffer.data(), size);
    if (got > 0) s.data.append(buffer.data(), static_cast<std::size_t>(got));
    // A short read means the end or damage: ask at once, as plans cut calls differently.
    if (got > 0 && got < size) got = YdrGZRead(reader, buffer.data(), size);
    if (got <= 0 && !stopped) s.data += "[" + std::to_string(got) + "]";
    stopped = stopped || got <= 0;
    return got;
  };
  for (const int step : plan) {
    if (step != kReset) {
      read(step);
    } else {
      s.data += YdrGZRead(reader, nullptr, 0) == 0 ? "[reset]" : "[reset failed]";
      stopped = false;
    }
  }
  while (read(tail) > 0) {
  }
  source.second += "| ";
  s.close = YdrGZCloseRead(reader);
  s.callbacks = source.second;
  return s;
}

void ExpectSameSession(const Session &got, const Session &want) {
  EXPECT_TRUE(got.data == want.data) << got.data.size() << " bytes and marks, not " << want.data.size();
  EXPECT_EQ(std::tie(got.callbacks, got.close), std::tie(want.callbacks, want.close));
}

struct Stream {
  const char *name;
  Bytes data;    // what the stream holds
  Bytes stream;  // deflate data and trailer
  int level;     // the smallest memory level that reads it
};

std::vector<Stream> Streams() {
  const Bytes noise = Noise(150000, 5);
  const Bytes text = TextLike(400000, 61);
  const Bytes mixed = TextLike(100000, 62) + noise.substr(0, 30000) + BinaryLike(150000, 63) + Bytes(70000, 'z');
  return {
      {"ours, text", text, GzCompress(text, 0), 0},
      {"ours, mixed, level 1", mixed, GzCompress(mixed, 1), 1},
      {"zlib stored blocks", mixed, ZlibStream(mixed, 0, 12), 0},
      {"zlib fixed code", text, ZlibStream(text, 6, 12, 4 /* Z_FIXED */), 0},
      {"zlib 32 KiB window", mixed, ZlibStream(mixed, 9, 15), 2},
  };
}

// Fixed-code matches of 258 bytes from before the stream's start: the history kept by a reset.
Bytes ReachingBack(int distance) {
  // Distance symbols: bases 1 to 4, then (2 or 3) << extra bits, plus 1.
  const auto extra = [](int symbol) { return symbol < 4 ? 0 : (symbol >> 1) - 1; };
  const auto base = [&](int symbol) { return symbol < 4 ? symbol + 1 : ((2 + (symbol & 1)) << extra(symbol)) + 1; };
  BitStream b;
  b.Bits(3, 3);  // final, fixed code
  for (const int d : {distance, 100, 1, distance}) {
    int symbol = 0;
    while (symbol < 29 && d >= base(symbol + 1)) ++symbol;
    b.Code(0xC5, 8);  // symbol 285: length 258
    b.Code(static_cast<std::uint32_t>(symbol), 5).Bits(static_cast<std::uint32_t>(d - base(symbol)), extra(symbol));
  }
  return b.Code(0, 7).Finish() + Bytes(8, '\0');  // end of block
}

TEST(GzDirectReadTest, WholeCutAndDamagedStreamsReadAsWindowByWindow) {
  std::mt19937 rng(77);
  int failures_seen = 0;
  for (const Stream &s : Streams()) {
    const int w = WindowSize(s.level);
    std::vector<std::pair<std::string, Bytes>> variants = {{"whole", s.stream}};
    for (const std::size_t cut : {s.stream.size() / 3, s.stream.size() - 9, s.stream.size() - 1})
      variants.emplace_back("cut", s.stream.substr(0, cut));
    // Noise inside the stream: the windows before the damage come first, then -1.
    for (int trial = std::string(s.name) == "zlib fixed code" ? 30 : 4; trial > 0; --trial) {
      Bytes damaged = s.stream;
      const std::size_t at = damaged.size() / 8 + rng() % (damaged.size() * 3 / 4);
      for (std::size_t i = at; i < at + 100; ++i) damaged[i] = static_cast<char>(rng());
      variants.emplace_back("damaged", damaged);
    }
    for (const auto &[kind, stream] : variants) {
      SCOPED_TRACE(std::string(s.name) + ", " + kind + " (" + std::to_string(stream.size()) + " bytes)");
      const Session by_window = Read(stream, s.level, {}, w);
      ASSERT_TRUE(kind != "whole" || (by_window.data == s.data + "[0]" && by_window.close == 0));
      failures_seen += kind == "damaged" && by_window.data.find("[-1]") != Bytes::npos;
      // Around two windows (the first read straight), and past the most decoded straight at once.
      for (const int size : {2 * w - 1, 2 * w, 2 * w + 1, 3 * w + 17, 16 * w + 5, 40 * w, 1 << 22}) {
        SCOPED_TRACE("reads of " + std::to_string(size));
        ExpectSameSession(Read(stream, s.level, {}, size), by_window);
      }
    }
  }
  EXPECT_GT(failures_seen, 20);  // noise in the fixed code is caught inside the data
}

TEST(GzDirectReadTest, ResetsAndSourcePiecesAfterLargeReadsFindTheSameState) {
  // Two streams back to back (every other second one copying from before its start).
  const std::vector<Stream> streams = Streams();
  std::mt19937 rng(91);
  for (int trial = 0; trial < 80; ++trial) {
    const Stream &a = streams[rng() % streams.size()];
    const Stream &b = streams[rng() % streams.size()];
    const int level = std::max(a.level, b.level);
    const int window = WindowSize(level);
    Bytes both = a.stream + (trial % 2 == 0 ? ReachingBack(std::min(window, 32768)) : b.stream);
    if (trial % 3 == 2) {
      for (std::size_t i = both.size() / 2; i < both.size() / 2 + 100; ++i) both[i] = static_cast<char>(rng());
    }
    const std::size_t piece = trial % 4 == 1 ? 1 + rng() % 5000 : 0;
    std::vector<int> small_plan, large_plan;
    for (int step = 0; step < 3; ++step) {
      const int total = rng() % 4 == 0 ? 1 << 20 : 1 + static_cast<int>(rng() % (12u * static_cast<unsigned>(window)));
      large_plan.push_back(total);
      for (int left = total; left > 0; left -= window) small_plan.push_back(std::min(left, window));
      if (rng() % 2 == 0) {
        large_plan.push_back(kReset);
        small_plan.push_back(kReset);
      }
    }
    SCOPED_TRACE(std::string(a.name) + " + " + b.name + ", trial " + std::to_string(trial));
    ExpectSameSession(Read(both, level, large_plan, 1 << 20, piece), Read(both, level, small_plan, window, piece));
  }
}

TEST(GzDirectReadTest, TheHistoryAfterAnEndOrAFailureInsideALargeReadIsKept) {
  // One or two and a half windows of literals that end or fail inside a large read.
  for (int level = 0; level <= 2; ++level) {
    const int window = WindowSize(level);
    for (const int whole_windows : {1, 2}) {
      for (const bool fails : {false, true}) {
        BitStream a;
        a.Bits(3, 3);  // final, fixed code
        const int literals = whole_windows * window + window / 2 + 7;
        for (int i = 0; i < literals; ++i) a.Code(0x30 + static_cast<std::uint32_t>('a' + (i * 7 + i / 26) % 26), 8);
        if (fails) {
          a.Code(1, 7).Code(30, 5);  // length 3, then a distance code the format leaves unused
        } else {
          a.Code(0, 7);  // end of block, no trailer: the next stream follows
        }
        const Bytes stream = a.Finish() + ReachingBack(std::min(window, 32768));
        std::vector<int> by_window(static_cast<std::size_t>(literals / window + 2), window);
        by_window.push_back(kReset);
        SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(literals) + " literals" +
                     (fails ? ", failing" : ", ending"));
        const Session want = Read(stream, level, by_window, window);
        ASSERT_EQ(want.data.find(fails ? "[-1][reset]" : "[0][reset]"),
                  static_cast<std::size_t>(fails ? literals / window * window : literals));
        // After the reset the next stream decodes whole, reaching back into the kept history.
        const std::size_t next = want.data.find("[reset]") + 7;
        EXPECT_EQ(want.data.size() - next, 4u * 258 + 3) << want.data.substr(next, 20);
        EXPECT_EQ(want.data.substr(want.data.size() - 3), "[0]");
        ExpectSameSession(Read(stream, level, {1 << 22, kReset}, 1 << 22), want);
        ExpectSameSession(Read(stream, level, {3 * window + 1, kReset}, 5 * window), want);
      }
    }
  }
}

}  // namespace
}  // namespace ydr::test
