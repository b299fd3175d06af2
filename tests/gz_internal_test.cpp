// The pieces under the exports: trees too deep, and every CRC-32 variant against zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gz/crc32.h"
#include "gz/huffman_tree.h"
#include "ydr/gz.h"

namespace ydr::gz {
namespace {

// Fibonacci frequencies go past the limit: the rarest four get it, the next limit - 2, all complete.
TEST(HuffmanTreeTest, TooDeepTreesAreFlattenedLongestCodesFirst) {
  struct Case {
    const TreeShape *shape;
    std::vector<int> lengths;
  };
  const Case cases[] = {
      {&kBitLengthShape, {7, 7, 7, 7, 5, 4, 3, 2, 1}},
      {&kLitLenShape, {15, 15, 15, 15, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
  };
  for (const Case &c : cases) {
    const std::size_t symbols = c.lengths.size();
    SCOPED_TRACE(symbols);
    std::vector<std::uint16_t> freq(static_cast<std::size_t>(c.shape->elements), 0);
    for (std::size_t i = 0, a = 1, b = 1; i < symbols; ++i, b += a, a = b - a) freq[i] = static_cast<std::uint16_t>(a);
    std::vector<Code> codes(freq.size() + 1);
    std::uint64_t dynamic_bits = 0, fixed_bits = 0;
    auto builder = std::make_unique<TreeBuilder>();
    EXPECT_EQ(builder->Build(*c.shape, freq.data(), codes.data(), &dynamic_bits, &fixed_bits),
              static_cast<int>(symbols) - 1);
    std::vector<int> lengths;  // the expected ones are complete codes
    std::uint64_t cost = 0;
    for (std::size_t i = 0; i < symbols; ++i) {
      lengths.push_back(codes[i].length);
      const int at = static_cast<int>(i) - c.shape->extra_base;
      const int extra = c.shape->extra_bits != nullptr && at >= 0 ? c.shape->extra_bits[at] : 0;
      cost += freq[i] * static_cast<std::uint64_t>(codes[i].length + extra);
    }
    EXPECT_EQ(lengths, c.lengths);
    EXPECT_EQ(dynamic_bits, cost);  // the cost follows the lengths as changed
  }
}

struct Crc32Variant {
  const char *name;
  Crc32Function (*get)();  // null when this CPU lacks the instructions (or they are disabled)
};
class Crc32VariantTest : public testing::TestWithParam<Crc32Variant> {};

TEST_P(Crc32VariantTest, AgreesWithZlib) {
  const Crc32Function f = GetParam().get();
  if (f == nullptr) GTEST_SKIP() << "this CPU lacks the " << GetParam().name << " instructions (or they are disabled)";
  std::vector<std::uint8_t> data((1 << 20) + 7);
  std::mt19937 rng(3);
  for (auto &b : data) b = static_cast<std::uint8_t>(rng());
  for (std::size_t size : {0u, 1u, 15u, 16u, 63u, 64u, 65u, 255u, 256u, 257u, 511u, 1000u, 4096u, 65537u, 1u << 20}) {
    for (std::size_t offset : {0u, 1u, 7u}) {
      ASSERT_EQ(~f(0xFFFFFFFFu, data.data() + offset, size), crc32(0, data.data() + offset, static_cast<uInt>(size)))
          << size << " at " << offset;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, Crc32VariantTest,
                         testing::Values(Crc32Variant{"generic", [] { return Crc32Function{&Crc32Update_generic}; }},
                                         Crc32Variant{"pclmul", &Crc32Variant_pclmul},
                                         Crc32Variant{"avx512", &Crc32Variant_avx512}),
                         [](const testing::TestParamInfo<Crc32Variant> &info) { return std::string(info.param.name); });

TEST(Crc32Test, ExportKeepsTheCallersRegister) {
  unsigned int reg = 12345;
  EXPECT_EQ(YdrGZUpdateCRC(&reg, nullptr, 0), 0u);
  EXPECT_EQ(reg, 0xFFFFFFFFu);
  EXPECT_EQ(YdrGZUpdateCRC(&reg, "abc", 3), 0x352441C2u);
  EXPECT_EQ(YdrGZUpdateCRC(&reg, nullptr, 0), 0u);
  YdrGZUpdateCRC(&reg, "a", 1);
  EXPECT_EQ(YdrGZUpdateCRC(&reg, "bc", 2), 0x352441C2u);  // in pieces
  YdrGZUpdateCRC(&reg, nullptr, 0);
  EXPECT_EQ(YdrGZUpdateCRC(&reg, "", 0), 0u);  // nothing since the reset
  EXPECT_EQ(YdrGZUpdateCRC(nullptr, "abc", 3), 0u);
}

}  // namespace
}  // namespace ydr::gz
