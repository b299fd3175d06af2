// The AES and DES engines: published known answers, libcrypto on random data, the AES
// engine's checks and results, and both AES paths (tables and the CPU's instructions).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/bytes.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif
#include "crypto/aes_engine.h"
#include "crypto/des_engine.h"

namespace ydr::crypto {
namespace {

using ydr::test::Bytes;
using ydr::test::FromHex;
using ydr::test::ToHex;
const auto &Random = ydr::test::RandomBytes;

// Each test runs on the table path and, where the CPU has them, on the AES instructions.
class AesEngineTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    if (GetParam() != AesPath::kTables && AesInstructions() == nullptr)
      GTEST_SKIP() << "no AES instructions (or disabled)";
    AesUsePath(GetParam());
  }
  void TearDown() override { AesUsePath(AesPath::kBest); }

  static Bytes Transform(std::uint8_t mode, bool encrypt, const std::string &keyHex, const Bytes &in,
                         const char *vectorHex = nullptr, AesCipherInstance *cipherOut = nullptr) {
    AesKeyInstance key{};
    AesCipherInstance cipher{};
    const std::uint8_t direction = encrypt || mode == kAesModeCfb1 ? kAesEncrypt : kAesDecrypt;
    EXPECT_EQ(AesSetKey(&key, direction, static_cast<int>(keyHex.size() * 4), keyHex.c_str()), kAesOk);
    EXPECT_EQ(AesSetMode(&cipher, mode, vectorHex), kAesOk);
    Bytes out(in.size());
    const int bits = static_cast<int>(in.size() * 8);
    EXPECT_EQ(encrypt ? AesEncryptBlocks(&cipher, &key, in.data(), bits, out.data())
                      : AesDecryptBlocks(&cipher, &key, in.data(), bits, out.data()),
              bits);
    if (cipherOut != nullptr) *cipherOut = cipher;
    return out;
  }
};

TEST_P(AesEngineTest, Fips197Examples) {
  const Bytes plain = FromHex("00112233445566778899aabbccddeeff");
  struct Vector {
    const char *key, *cipher;
  };
  const Vector vectors[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const Vector &v : vectors) {
    EXPECT_EQ(ToHex(Transform(kAesModeEcb, true, v.key, plain)), v.cipher) << v.key;
    EXPECT_EQ(Transform(kAesModeEcb, false, v.key, FromHex(v.cipher)), plain) << v.key;
  }
}

#if YDR_CRYPTO_PEER
TEST_P(AesEngineTest, Cfb1MatchesTheSp80038aExampleAndLibcrypto) {
  // SP 800-38A F.3.1/F.3.2: the first 16 bits of CFB1-AES128.
  const std::string key = "2b7e151628aed2a6abf7158809cf4f3c";
  const char *iv = "000102030405060708090a0b0c0d0e0f";
  const Bytes plain = FromHex("6bc1bee22e409f96e93d7e117393172a");
  const Bytes sealed = Transform(kAesModeCfb1, true, key, plain, iv);
  EXPECT_EQ(ToHex(Bytes(sealed.begin(), sealed.begin() + 2)), "68b3");
  EXPECT_EQ(Transform(kAesModeCfb1, false, key, sealed, iv), plain);

  std::mt19937 rng(381);
  for (int trial = 0; trial < 5; ++trial) {
    const Bytes k = Random(rng, 16), v = Random(rng, 16), data = Random(rng, 16 * (1 + rng() % 6));
    AesCipherInstance after_encrypt{}, after_decrypt{};
    const Bytes ours = Transform(kAesModeCfb1, true, ToHex(k), data, ToHex(v).c_str(), &after_encrypt);
    EXPECT_EQ(ours, ydr::test::OpenSslCrypt("AES-128-CFB1", true, k.data(), v.data(), data));
    EXPECT_EQ(Transform(kAesModeCfb1, false, ToHex(k), ours, ToHex(v).c_str(), &after_decrypt), data);
    // Both directions leave the same register: the last 128 ciphertext bits.
    EXPECT_EQ(std::memcmp(after_encrypt.vector, ours.data() + ours.size() - 16, 16), 0);
    EXPECT_EQ(std::memcmp(after_decrypt.vector, after_encrypt.vector, 16), 0);
  }
}
#endif

#if YDR_CRYPTO_PEER
TEST_P(AesEngineTest, EcbMatchesLibcryptoForEveryKeySize) {
  std::mt19937 rng(197);
  const char *names[] = {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"};
  for (int size = 0; size < 3; ++size) {
    for (std::size_t blocks : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 33u, 70u}) {  // around the groups of 8 and 16
      const Bytes k = Random(rng, 16 + 8 * size), data = Random(rng, 16 * blocks);
      const Bytes ours = Transform(kAesModeEcb, true, ToHex(k), data);
      EXPECT_EQ(ours, ydr::test::OpenSslCrypt(names[size], true, k.data(), nullptr, data)) << names[size];
      EXPECT_EQ(Transform(kAesModeEcb, false, ToHex(k), ours), data) << names[size];
    }
  }
}
#endif

const char *PathName(AesPath path) {
  return path == AesPath::kTables ? "Tables" : path == AesPath::kBest ? "WidestInstructions" : "Instructions128";
}

INSTANTIATE_TEST_SUITE_P(Paths, AesEngineTest,
                         ::testing::Values(AesPath::kTables, AesPath::kInstructions128, AesPath::kBest),
                         [](const auto &info) { return PathName(info.param); });

TEST(AesEngineChecksTest, ResultsOfTheSettersAndTransforms) {
  AesKeyInstance key{};
  AesCipherInstance cipher{};
  const char *hex = "000102030405060708090a0b0c0d0e0f";
  EXPECT_EQ(AesSetKey(nullptr, 0, 128, hex), kAesNoInstance);
  EXPECT_EQ(AesSetKey(&key, 2, 128, hex), kAesBadDirection);
  EXPECT_EQ(AesSetKey(&key, 0, 100, hex), kAesBadKey);
  EXPECT_EQ(AesSetKey(&key, 0, 128, "0g0102030405060708090a0b0c0d0e0f"), kAesBadKey);
  EXPECT_EQ(AesSetKey(&key, 0, 128, "0001"), kAesBadKey);  // too short: a NUL where a digit should be
  EXPECT_EQ(AesSetMode(&cipher, 2, nullptr), kAesBadMode);
  EXPECT_EQ(AesSetMode(&cipher, kAesModeEcb, "00zz"), kAesBadVector);

  // Case does not matter, and only the first 32 digits of a longer text are read.
  AesKeyInstance upper{}, lower{}, longer{};
  ASSERT_EQ(AesSetKey(&upper, 0, 128, "000102030405060708090A0B0C0D0E0F"), kAesOk);
  ASSERT_EQ(AesSetKey(&lower, 0, 128, hex), kAesOk);
  ASSERT_EQ(AesSetKey(&longer, 0, 128, "000102030405060708090a0b0c0d0e0f01234567"), kAesOk);
  EXPECT_EQ(std::memcmp(upper.schedule, lower.schedule, sizeof upper.schedule), 0);
  EXPECT_EQ(std::memcmp(longer.schedule, lower.schedule, sizeof upper.schedule), 0);

  // Null text reuses the stored digits, and a shorter key fills only its own positions: a
  // 256-bit key, a 128-bit key, then a 256-bit key from what is stored, which is the
  // 128-bit key's 32 digits followed by the last 32 of the first key.
  const std::string hex256 = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
  const std::string mixed = std::string(hex) + hex256.substr(32);
  AesKeyInstance expected{}, reused{};
  ASSERT_EQ(AesSetKey(&expected, 0, 256, mixed.c_str()), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 256, hex256.c_str()), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 128, hex), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 256, nullptr), kAesOk);
  EXPECT_EQ(std::memcmp(reused.schedule, expected.schedule, sizeof expected.schedule), 0);
  EXPECT_EQ(reused.rounds, 14);

  // A failed setting keeps the schedule it had.
  AesKeyInstance kept = lower;
  EXPECT_EQ(AesSetKey(&kept, 0, 128, "zz"), kAesBadKey);
  EXPECT_EQ(std::memcmp(kept.schedule, lower.schedule, sizeof kept.schedule), 0);

  ASSERT_EQ(AesSetMode(&cipher, kAesModeEcb, nullptr), kAesOk);
  unsigned char data[32] = {}, out[32];
  EXPECT_EQ(AesEncryptBlocks(&cipher, &lower, data, 127, out), 0);
  EXPECT_EQ(AesEncryptBlocks(&cipher, &lower, data, 200, out), 128);
  EXPECT_EQ(AesEncryptBlocks(&cipher, &lower, nullptr, 128, out), 0);
  EXPECT_EQ(AesEncryptBlocks(nullptr, &lower, data, 128, out), kAesBadCipherState);
  AesKeyInstance decrypting{};
  ASSERT_EQ(AesSetKey(&decrypting, 1, 128, hex), kAesOk);
  EXPECT_EQ(AesEncryptBlocks(&cipher, &decrypting, data, 128, out), kAesBadCipherState);
  EXPECT_EQ(AesDecryptBlocks(&cipher, &lower, data, 128, out), kAesBadCipherState);  // ECB, key for encryption
  ASSERT_EQ(AesSetMode(&cipher, kAesModeCfb1, nullptr), kAesOk);
  EXPECT_EQ(AesDecryptBlocks(&cipher, &lower, data, 128, out), 128);  // CFB-1 takes either
  EXPECT_EQ(AesDecryptBlocks(&cipher, &decrypting, data, 128, out), 128);
  cipher.mode = 2;
  EXPECT_EQ(AesEncryptBlocks(&cipher, &lower, data, 128, out), kAesBadCipherState);
}

Bytes Des(bool encrypt, const Bytes &key, const Bytes &block) {
  DesKeyState state;
  DesSetKey(&state, key.data());
  Bytes out(8);
  encrypt ? DesEncryptBlock(block.data(), &state, out.data()) : DesDecryptBlock(block.data(), &state, out.data());
  return out;
}

TEST(DesEngineTest, PublishedKnownAnswers) {
  struct Vector {
    const char *key, *plain, *cipher;
  };
  const Vector vectors[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85e813540f0ab405"},  // the worked example
      {"0123456789ABCDEF", "4E6F772069732074", "3fa40e8a984d4815"},  // "Now is t"
      {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},  // variable plaintext, first rows
      {"0101010101010101", "4000000000000000", "dd7f121ca5015619"},
      {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},  // variable key, first rows
      {"4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
  };
  for (const Vector &v : vectors) {
    EXPECT_EQ(ToHex(Des(true, FromHex(v.key), FromHex(v.plain))), v.cipher) << v.key << " " << v.plain;
    EXPECT_EQ(Des(false, FromHex(v.key), FromHex(v.cipher)), FromHex(v.plain)) << v.key;
  }
}

#if YDR_CRYPTO_PEER
TEST(DesEngineTest, VariableTextAndKeyTablesAgreeWithLibcrypto) {
  ASSERT_TRUE(ydr::test::LoadLegacyProvider());
  const Bytes zero(8, 0), odd_parity_ones(8, 0x01);
  for (int bit = 0; bit < 64; ++bit) {
    Bytes single(8, 0);
    single[bit / 8] = static_cast<unsigned char>(0x80 >> (bit % 8));
    // Variable plaintext under the key of all parity ones.
    EXPECT_EQ(Des(true, odd_parity_ones, single),
              ydr::test::OpenSslCrypt("DES-ECB", true, odd_parity_ones.data(), nullptr, single))
        << bit;
    if (bit % 8 == 7) continue;  // parity bits are not key bits
    Bytes key = odd_parity_ones;
    key[bit / 8] |= static_cast<unsigned char>(0x80 >> (bit % 8));
    EXPECT_EQ(Des(true, key, zero), ydr::test::OpenSslCrypt("DES-ECB", true, key.data(), nullptr, zero)) << bit;
  }
}
#endif

#if YDR_CRYPTO_PEER
TEST(DesEngineTest, RandomBlocksAgreeWithLibcryptoAndParityIsIgnored) {
  std::mt19937 rng(46);
  for (int trial = 0; trial < 200; ++trial) {
    const Bytes key = Random(rng, 8), block = Random(rng, 8);
    const Bytes ours = Des(true, key, block);
    ASSERT_EQ(ours, ydr::test::OpenSslCrypt("DES-ECB", true, key.data(), nullptr, block));
    Bytes flipped = key;
    flipped[trial % 8] ^= 1;
    EXPECT_EQ(Des(true, flipped, block), ours);
    // In place.
    DesKeyState state;
    DesSetKey(&state, key.data());
    Bytes in_place = ours;
    DesDecryptBlock(in_place.data(), &state, in_place.data());
    EXPECT_EQ(in_place, block);
  }
}

// Run in a process of its own (see tests/CMakeLists.txt): the first keying happens on many
// threads at once, and every one of them must see complete tables.
#endif
TEST(DesThreadsTest, FirstKeyingFromManyThreadsGivesIdenticalResults) {
  const Bytes key = FromHex("133457799BBCDFF1"), block = FromHex("0123456789ABCDEF");
  constexpr int kThreads = 16;
  std::vector<Bytes> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { results[static_cast<std::size_t>(t)] = Des(true, key, block); });
  }
  for (std::thread &t : threads) t.join();
  EXPECT_TRUE(DesSharedTablesBuilt());
  for (const Bytes &r : results) EXPECT_EQ(ToHex(r), "85e813540f0ab405");
}

}  // namespace
}  // namespace ydr::crypto
