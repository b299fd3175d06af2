// The matcher's ways of searching its chains against the plain one: the same input, written
// in the same pieces, must give the same stream byte for byte, whatever the way and the
// memory level. A way asked for by name runs whenever the CPU has its instructions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "gz/deflate_writer.h"
#include "tests/support/gz_streams.h"
#include "tests/support/memory_streams.h"
#include "ydr/gz.h"

namespace ydr::gz {
namespace {

using test::Bytes;

// Writes `data` in the given pieces (-1: the end mark, after which writing goes on).
Bytes Compress(const Bytes &data, int level, MatchSearch search, const std::vector<int> &pieces) {
  Bytes out;
  StreamWriter *writer = NewStreamWriter(test::AppendToBytes, &out, level, search);
  EXPECT_NE(writer, nullptr);
  if (writer == nullptr) return out;
  std::size_t at = 0;
  for (const int piece : pieces) {
    if (piece < 0) {
      YdrGZWrite(writer, nullptr, -1);
      continue;
    }
    const std::size_t n = std::min(static_cast<std::size_t>(piece), data.size() - at);
    YdrGZWrite(writer, data.data() + at, static_cast<int>(n));
    at += n;
  }
  if (at < data.size()) YdrGZWrite(writer, data.data() + at, static_cast<int>(data.size() - at));
  YdrGZCloseWrite(writer);
  return out;
}

// Data that walks every part of the search: long chains of equal three-byte starts that
// part after 3 to 40 bytes, matches of exactly 32 bytes and of the longest length, runs,
// bytes without repeats, text and binary.
Bytes ChainHeavy(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    out += "key";
    const std::size_t same = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
    for (std::size_t i = 0; i < same; ++i) out += static_cast<char>('a' + i % 7);
    out += static_cast<char>(rng());
  }
  out.resize(size);
  return out;
}

Bytes Mixed(std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes random(3000, '\0');
  for (char &c : random) c = static_cast<char>(rng());
  const Bytes block32 = random.substr(0, 32);
  return test::TextLike(40000, seed) + Bytes(5000, 'z') + random + block32 + "!" + block32 + "?" +
         random.substr(100, 258) + random.substr(100, 300) + test::BinaryLike(30000, seed) + ChainHeavy(60000, seed);
}

std::vector<int> RandomPieces(std::mt19937 &rng, std::size_t total, bool with_end_marks) {
  std::vector<int> pieces;
  std::size_t sum = 0;
  while (sum < total) {
    // Mostly small writes, which suspend the matcher with little lookahead, some large.
    const int n = rng() % 4 == 0 ? static_cast<int>(rng() % 70000) : static_cast<int>(rng() % 300) + 1;
    pieces.push_back(n);
    sum += static_cast<std::size_t>(n);
    if (with_end_marks && rng() % 50 == 0) pieces.push_back(-1);
  }
  return pieces;
}

class MatchSearchWayTest : public testing::TestWithParam<MatchSearch> {};

TEST_P(MatchSearchWayTest, WritesThePlainWaysStream) {
  const MatchSearch way = GetParam();
  // A way this CPU lacks falls back to another, which is tested under its own name.
  if (ChooseMatchSearch(way) != way)
    GTEST_SKIP() << "this CPU lacks the instructions of this way (or they are disabled)";
  struct Input {
    const char *name;
    Bytes data;
  };
  const Input inputs[] = {
      {"mixed", Mixed(1)},
      {"chains", ChainHeavy(200000, 2)},
      {"text", test::TextLike(150000, 3)},
      {"one byte", Bytes(70000, 'q')},
  };
  std::mt19937 rng(20261206);
  for (const Input &input : inputs) {
    for (const int level : {0, 1, 2}) {
      for (const bool end_marks : {false, true}) {
        SCOPED_TRACE(std::string(input.name) + " level " + std::to_string(level) +
                     (end_marks ? " with end marks" : ""));
        const std::vector<int> pieces = RandomPieces(rng, input.data.size(), end_marks);
        const Bytes plain = Compress(input.data, level, MatchSearch::kPlain, pieces);
        const Bytes fast = Compress(input.data, level, way, pieces);
        ASSERT_EQ(fast.size(), plain.size());
        EXPECT_TRUE(fast == plain);
        if (!end_marks) {
          Bytes decoded;
          std::size_t trailer = 0;
          ASSERT_TRUE(test::ZlibInflate(plain, &decoded, &trailer));
          EXPECT_TRUE(decoded == input.data);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, MatchSearchWayTest, testing::Values(MatchSearch::kVector16, MatchSearch::kVector32),
                         [](const testing::TestParamInfo<MatchSearch> &info) {
                           return std::string(info.param == MatchSearch::kVector16 ? "Vector16" : "Vector32");
                         });

TEST(MatchSearchTest, TheBestWayIsTheDefault) {
  const Bytes data = Mixed(7);
  const Bytes best = Compress(data, 0, MatchSearch::kBest, {});
  EXPECT_EQ(best, test::GzCompress(data));
  EXPECT_EQ(best, Compress(data, 0, MatchSearch::kPlain, {}));
}

}  // namespace
}  // namespace ydr::gz
