// The matcher's ways of searching its chains against the plain one: the same input, written
// in the same pieces, must give the same stream byte for byte, whatever the way and the
// memory level. A way asked for by name runs whenever the CPU has its instructions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gz/deflate_writer.h"
#include "tests/support/gz_streams.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

using gz::MatchSearch;

// Long chains of equal three-byte starts that part after 3 to 40 bytes.
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

// Data that walks every part of the search: chains, matches of exactly 32 bytes and of the
// longest length, runs, bytes without repeats, text and binary.
Bytes Mixed(std::uint32_t seed) {
  const Bytes random = Noise(3000, seed);
  const Bytes block32 = random.substr(0, 32);
  return TextLike(40000, seed) + Bytes(5000, 'z') + random + block32 + "!" + block32 + "?" + random.substr(100, 258) +
         random.substr(100, 300) + BinaryLike(30000, seed) + ChainHeavy(60000, seed);
}

class MatchSearchWayTest : public testing::TestWithParam<MatchSearch> {};

TEST_P(MatchSearchWayTest, WritesThePlainWaysStream) {
  const MatchSearch way = GetParam();
  // A way this CPU lacks falls back to another, which is tested under its own name.
  if (ChooseMatchSearch(way) != way)
    GTEST_SKIP() << "this CPU lacks the instructions of this way (or they are disabled)";
  const std::pair<const char *, Bytes> inputs[] = {
      {"mixed", Mixed(1)},
      {"chains", ChainHeavy(200000, 2)},
      {"text", TextLike(150000, 3)},
      {"one byte", Bytes(70000, 'q')},
  };
  std::mt19937 rng(20261206);
  for (const auto &[name, data] : inputs) {
    for (const int level : {0, 1, 2}) {
      for (const bool end_marks : {false, true}) {
        SCOPED_TRACE(std::string(name) + " level " + std::to_string(level) + (end_marks ? " with end marks" : ""));
        // Mostly small writes, which suspend the matcher with little lookahead, some large.
        std::vector<int> pieces;
        for (std::size_t sum = 0; sum < data.size();) {
          pieces.push_back(rng() % 4 == 0 ? static_cast<int>(rng() % 70000) : static_cast<int>(rng() % 300) + 1);
          sum += static_cast<std::size_t>(pieces.back());
          if (end_marks && rng() % 50 == 0) pieces.push_back(-1);
        }
        const Bytes plain = WriteInPieces(data, level, MatchSearch::kPlain, pieces).bytes;
        const Bytes fast = WriteInPieces(data, level, way, pieces).bytes;
        ASSERT_EQ(fast.size(), plain.size());
        EXPECT_TRUE(fast == plain);
        Bytes decoded;
        if (!end_marks) {
          ASSERT_TRUE(ZlibInflate(plain, &decoded));
          EXPECT_TRUE(decoded == data);
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
  const Bytes best = WriteInPieces(data, 0, MatchSearch::kBest, {}).bytes;
  EXPECT_EQ(best, GzCompress(data));
  EXPECT_EQ(best, WriteInPieces(data, 0, MatchSearch::kPlain, {}).bytes);
}

}  // namespace
}  // namespace ydr::test
