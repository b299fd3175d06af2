// SEED, AES and DES through the one block-cipher layer, and the AES engine's hex-key interface:
// published known answers, and libcrypto in every mode each is used in, on every AES path.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "crypto/aes_engine.h"
#include "crypto/block_modes.h"
#include "crypto/des_engine.h"
#include "crypto/seed_cipher.h"
#include "tests/support/bytes.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif

namespace ydr::crypto {
namespace {

using ydr::test::Bytes;
using ydr::test::FromHex;
const auto &Random = ydr::test::RandomBytes;

enum Mode { kEcb, kCbc, kOfb, kCfb, kCfb1 };
const char *const kModeNames[] = {"ECB", "CBC", "OFB", "CFB", "CFB1"};

// An engine keyed: its schedules, a cipher to encrypt (and for forward-only modes), one to decrypt.
struct Keyed {
  Keyed(const std::string &engine, const Bytes &key) {
    if (engine == "SEED") {
      seed::KeySchedule(key.data(), enc);
      forward = inverse = seed::SeedCipher(enc);
    } else if (engine == "DES") {
      DesSetKey(&des, key.data());
      forward = inverse = DesCipher(&des);
    } else {
      const int bits = static_cast<int>(8 * key.size());
      rounds[0] = {enc, AesExpandEncryptKey(enc, key.data(), bits)};
      rounds[1] = {dec, AesExpandDecryptKey(dec, key.data(), bits)};
      forward = AesCipher(&rounds[0]);
      inverse = AesCipher(&rounds[1]);
    }
  }
  Keyed(const Keyed &) = delete;             // the ciphers point into it
  std::uint32_t enc[60] = {}, dec[60] = {};  // AES's schedules; SEED's round keys in `enc`
  AesRounds rounds[2] = {};
  DesKeyState des = {};
  BlockCipher forward = {}, inverse = {};
};

struct Engine {
  const char *name;  // libcrypto's, less the mode
  std::size_t key_size, block_size;
  Mode last_mode;  // SEED is not used with one-bit segments
};
const Engine kEngines[] = {{"SEED", 16, 16, kCfb},
                           {"AES-128", 16, 16, kCfb1},
                           {"AES-192", 24, 16, kCfb1},
                           {"AES-256", 32, 16, kCfb1},
                           {"DES", 8, 8, kCfb1}};

// Ours, in pieces: the first `split` bytes, then the rest, the chaining value carried.
Bytes Ours(const Keyed &keyed, Mode mode, bool encrypt, const Bytes &iv, const Bytes &in, std::size_t split) {
  Bytes out(in.size()), chain = iv;
  const BlockCipher &c = keyed.forward;
  const std::size_t b = c.block_size;
  const auto run = [&](std::size_t from, std::size_t size) {
    const unsigned char *i = in.data() + from;
    unsigned char *o = out.data() + from;
    switch (mode) {
      case kEcb: encrypt ? EcbEncrypt(c, i, o, size / b) : EcbDecrypt(keyed.inverse, i, o, size / b); break;
      case kCbc:
        encrypt ? CbcEncrypt(c, chain.data(), i, o, size / b) : CbcDecrypt(keyed.inverse, chain.data(), i, o, size / b);
        break;
      case kOfb: OfbCrypt(c, chain.data(), i, o, size / b); break;
      case kCfb:
        encrypt ? CfbEncrypt(c, chain.data(), i, o, size / b) : CfbDecrypt(c, chain.data(), i, o, size / b);
        break;
      case kCfb1: encrypt ? Cfb1Encrypt(c, chain.data(), i, o, size) : Cfb1Decrypt(c, chain.data(), i, o, size); break;
    }
  };
  run(0, split);
  run(split, in.size() - split);
  return out;
}

// The AES engine's own interface: key and vector in hexadecimal text, lengths in bits.
Bytes HexInterface(std::uint8_t mode, bool encrypt, const std::string &key_hex, const Bytes &in,
                   const char *vector_hex = nullptr, AesCipherInstance *cipher_out = nullptr) {
  AesKeyInstance key{};
  AesCipherInstance cipher{};
  const std::uint8_t direction = encrypt || mode == kAesModeCfb1 ? kAesEncrypt : kAesDecrypt;
  EXPECT_EQ(AesSetKey(&key, direction, static_cast<int>(key_hex.size() * 4), key_hex.c_str()), kAesOk);
  EXPECT_EQ(AesSetMode(&cipher, mode, vector_hex), kAesOk);
  Bytes out(in.size());
  const int bits = static_cast<int>(in.size() * 8);
  EXPECT_EQ(encrypt ? AesEncryptBlocks(&cipher, &key, in.data(), bits, out.data())
                    : AesDecryptBlocks(&cipher, &key, in.data(), bits, out.data()),
            bits);
  if (cipher_out != nullptr) *cipher_out = cipher;
  return out;
}

// Each test runs on the AES tables and, where the CPU has them, on the AES instructions.
class BlockCipherTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    if (GetParam() != AesPath::kTables && AesInstructions() == nullptr) GTEST_SKIP() << "no AES instructions";
    AesUsePath(GetParam());
  }
  void TearDown() override { AesUsePath(AesPath::kBest); }
};

TEST_P(BlockCipherTest, PublishedKnownAnswers) {
  struct Vector {
    std::size_t engine;  // in kEngines
    const char *key, *plain, *cipher;
  };
  const Vector vectors[] = {
      // RFC 4269's examples.
      {0, "000102030405060708090a0b0c0d0e0f", "00000000000000000000000000000000", "c11f22f20140505084483597e4370f43"},
      // FIPS 197's examples.
      {1, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {2, "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {3, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
       "8ea2b7ca516745bfeafc49904b496089"},
      // DES: "Now is t" (the worked example is the threads test's).
      {4, "0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
  };
  for (const Vector &v : vectors) {
    SCOPED_TRACE(testing::Message() << kEngines[v.engine].name << " key " << v.key);
    const Bytes plain = FromHex(v.plain), cipher = FromHex(v.cipher);
    const Keyed keyed(kEngines[v.engine].name, FromHex(v.key));
    EXPECT_EQ(Ours(keyed, kEcb, true, {}, plain, 0), cipher);
    EXPECT_EQ(Ours(keyed, kEcb, false, {}, cipher, 0), plain);
    if (std::strncmp(kEngines[v.engine].name, "AES", 3) == 0) {
      EXPECT_EQ(HexInterface(kAesModeEcb, true, v.key, plain), cipher);
      EXPECT_EQ(HexInterface(kAesModeEcb, false, v.key, cipher), plain);
    }
  }
  // SP 800-38A F.3.1: the first 16 bits of CFB1-AES128 (of two blocks, the rest libcrypto's). Both
  // directions leave the last 128 ciphertext bits in the register, where the next call goes on.
  const std::string key = "2b7e151628aed2a6abf7158809cf4f3c";
  const char *iv = "000102030405060708090a0b0c0d0e0f";
  const Bytes plain = FromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  AesCipherInstance after_encrypt{}, after_decrypt{};
  const Bytes sealed = HexInterface(kAesModeCfb1, true, key, plain, iv, &after_encrypt);
  EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 2), FromHex("68b3"));
  EXPECT_EQ(HexInterface(kAesModeCfb1, false, key, sealed, iv, &after_decrypt), plain);
  EXPECT_EQ(std::memcmp(after_encrypt.vector, sealed.data() + 16, 16), 0);
  EXPECT_EQ(std::memcmp(after_decrypt.vector, sealed.data() + 16, 16), 0);
#if YDR_CRYPTO_PEER
  EXPECT_EQ(sealed, test::OpenSslEncrypt("AES-128-CFB1", FromHex(key).data(), FromHex(iv).data(), plain));
#endif
}

TEST_P(BlockCipherTest, EveryEngineAndModeAgreesWithLibcrypto) {
  std::mt19937 rng(2024);
  for (const Engine &engine : kEngines) {
    for (int m = kEcb; m <= engine.last_mode; ++m) {
      const Mode mode = static_cast<Mode>(m);
      const std::string name = std::string(engine.name) + "-" + kModeNames[mode];
      SCOPED_TRACE(name);
      const Bytes key = Random(rng, engine.key_size), iv = Random(rng, engine.block_size);
      const Keyed keyed(engine.name, key);
      // Around the batches the modes and the AES instructions take at once (4, 8, 16 blocks).
      for (std::size_t blocks : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 33u}) {
        const Bytes plain = Random(rng, blocks * engine.block_size);
        const std::size_t split = blocks / 2 * engine.block_size;
#if YDR_CRYPTO_PEER
        const Bytes theirs = test::OpenSslEncrypt(name.c_str(), key.data(), mode == kEcb ? nullptr : iv.data(), plain);
        ASSERT_EQ(theirs.size(), plain.size()) << "libcrypto lacks " << name;
#else  // no peer on this target: in pieces as whole, and back
        const Bytes theirs = Ours(keyed, mode, true, iv, plain, 0);
#endif
        EXPECT_EQ(Ours(keyed, mode, true, iv, plain, split), theirs) << blocks;
        EXPECT_EQ(Ours(keyed, mode, false, iv, theirs, split), plain) << blocks;
      }
    }
  }
}

const char *const kPathNames[] = {"WidestInstructions", "Tables", "Instructions128"};  // AesPath's order
INSTANTIATE_TEST_SUITE_P(Paths, BlockCipherTest,
                         ::testing::Values(AesPath::kTables, AesPath::kInstructions128, AesPath::kBest),
                         [](const auto &info) { return std::string(kPathNames[static_cast<int>(info.param)]); });

TEST(AesEngineChecksTest, ResultsOfTheSettersAndTransforms) {
  AesKeyInstance key{};
  AesCipherInstance cipher{};
  const char *hex = "000102030405060708090a0b0c0d0e0f";
  EXPECT_EQ(AesSetKey(nullptr, 0, 128, hex), kAesNoInstance);
  EXPECT_EQ(AesSetKey(&key, 2, 128, hex), kAesBadDirection);
  EXPECT_EQ(AesSetKey(&key, 0, 100, hex), kAesBadKey);
  EXPECT_EQ(AesSetMode(&cipher, 2, nullptr), kAesBadMode);
  EXPECT_EQ(AesSetMode(&cipher, kAesModeEcb, "0"), kAesBadVector);  // its second digit missing
  AesKeyInstance lower{};
  ASSERT_EQ(AesSetKey(&lower, 0, 128, hex), kAesOk);

  // Null text reuses the stored digits, of which a shorter key replaces only its own.
  const std::string hex256 = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
  const std::string mixed = std::string(hex) + hex256.substr(32);
  AesKeyInstance expected{}, reused{};
  ASSERT_EQ(AesSetKey(&expected, 0, 256, mixed.c_str()), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 256, hex256.c_str()), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 128, hex), kAesOk);
  ASSERT_EQ(AesSetKey(&reused, 0, 256, nullptr), kAesOk);
  EXPECT_EQ(std::memcmp(reused.schedule, expected.schedule, sizeof expected.schedule), 0);
  EXPECT_EQ(reused.rounds, 14);

  // A failed setting (a key that is no hex digits) keeps the schedule it had.
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
  cipher.mode = 2;
  EXPECT_EQ(AesEncryptBlocks(&cipher, &lower, data, 128, out), kAesBadCipherState);
}

Bytes DesBlock(bool encrypt, const Bytes &key, const Bytes &block) {
  DesKeyState state;
  DesSetKey(&state, key.data());
  Bytes out(8);
  encrypt ? DesEncryptBlock(block.data(), &state, out.data()) : DesDecryptBlock(block.data(), &state, out.data());
  return out;
}

// Also run alone in a process (tests/CMakeLists.txt), keying first: every thread sees whole tables.
TEST(DesThreadsTest, FirstKeyingFromManyThreadsGivesIdenticalResults) {
  const Bytes key = FromHex("133457799BBCDFF1"), block = FromHex("0123456789ABCDEF");
  constexpr int kThreads = 16;
  std::vector<Bytes> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { results[static_cast<std::size_t>(t)] = DesBlock(true, key, block); });
  }
  for (std::thread &t : threads) t.join();
  EXPECT_TRUE(DesSharedTablesBuilt());
  for (const Bytes &r : results) EXPECT_EQ(r, FromHex("85e813540f0ab405"));
  EXPECT_EQ(DesBlock(false, key, results[0]), block);  // the single-block calls, both ways
}

}  // namespace
}  // namespace ydr::crypto
