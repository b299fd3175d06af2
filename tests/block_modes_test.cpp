// The one block-cipher layer against libcrypto: every engine (SEED, AES of each key size,
// DES) in every mode it is used in, on every CPU variant, both directions, whole messages
// and messages fed in two pieces.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crypto/block_modes.h"
#include "crypto/seed_cipher.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif
#include "crypto/aes_engine.h"
#include "crypto/des_engine.h"

namespace ydr::crypto {
namespace {

using Bytes = std::vector<unsigned char>;

enum class Mode { kEcb, kCbc, kOfb, kCfb, kCfb1 };

const char *ModeName(Mode mode) {
  switch (mode) {
    case Mode::kEcb: return "ecb";
    case Mode::kCbc: return "cbc";
    case Mode::kOfb: return "ofb";
    case Mode::kCfb: return "cfb";
    case Mode::kCfb1: return "cfb1";
  }
  return "?";
}

// A keyed engine: one cipher for encrypting (and the forward-only modes), one for decrypting.
struct Keyed {
  BlockCipher forward, inverse;
  std::function<void()> keep;  // owns the schedules the ciphers point at
};

struct Engine {
  const char *name;
  std::size_t key_size;
  std::size_t block_size;
  const char *openssl_prefix;  // "SEED", "AES-128", "DES"
  std::vector<Mode> modes;
  std::function<Keyed(const Bytes &key)> make;
};

std::vector<Engine> Engines() {
  std::vector<Engine> engines;
  engines.push_back({"SEED", 16, 16, "SEED", {Mode::kEcb, Mode::kCbc, Mode::kOfb, Mode::kCfb}, [](const Bytes &key) {
                       auto rk = std::make_shared<std::array<std::uint32_t, 32>>();
                       seed::KeySchedule(key.data(), rk->data());
                       const BlockCipher c = seed::SeedCipher(rk->data());
                       return Keyed{c, c, [rk] {}};
                     }});
  for (int bits : {128, 192, 256}) {
    static const char *const kNames[] = {"AES-128", "AES-192", "AES-256"};
    engines.push_back({kNames[(bits - 128) / 64],
                       static_cast<std::size_t>(bits / 8),
                       16,
                       kNames[(bits - 128) / 64],
                       {Mode::kEcb, Mode::kCbc, Mode::kOfb, Mode::kCfb, Mode::kCfb1},
                       [bits](const Bytes &key) {
                         struct Schedules {
                           std::uint32_t enc[60], dec[60];
                           AesRounds forward, inverse;
                         };
                         auto s = std::make_shared<Schedules>();
                         const int rounds = AesExpandEncryptKey(s->enc, key.data(), bits);
                         AesExpandDecryptKey(s->dec, key.data(), bits);
                         s->forward = {s->enc, rounds};
                         s->inverse = {s->dec, rounds};
                         return Keyed{AesCipher(&s->forward), AesCipher(&s->inverse), [s] {}};
                       }});
  }
  engines.push_back(
      {"DES", 8, 8, "DES", {Mode::kEcb, Mode::kCbc, Mode::kOfb, Mode::kCfb, Mode::kCfb1}, [](const Bytes &key) {
         auto state = std::make_shared<DesKeyState>();
         DesSetKey(state.get(), key.data());
         const BlockCipher c = DesCipher(state.get());
         return Keyed{c, c, [state] {}};
       }});
  return engines;
}

std::string OpenSslName(const Engine &engine, Mode mode) {
  std::string name = std::string(engine.openssl_prefix) + "-" + ModeName(mode);
  if (mode == Mode::kCfb) name = std::string(engine.openssl_prefix) + "-CFB";
  for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Ours, in pieces: the first `split` bytes, then the rest, the chaining value carried.
Bytes Ours(const Keyed &keyed, Mode mode, bool encrypt, const Bytes &iv, const Bytes &in, std::size_t split) {
  Bytes out(in.size()), chain = iv;
  const BlockCipher &c = keyed.forward;
  const std::size_t b = c.block_size;
  const auto run = [&](std::size_t from, std::size_t size) {
    const unsigned char *i = in.data() + from;
    unsigned char *o = out.data() + from;
    switch (mode) {
      case Mode::kEcb: encrypt ? EcbEncrypt(c, i, o, size / b) : EcbDecrypt(keyed.inverse, i, o, size / b); break;
      case Mode::kCbc:
        encrypt ? CbcEncrypt(c, chain.data(), i, o, size / b) : CbcDecrypt(keyed.inverse, chain.data(), i, o, size / b);
        break;
      case Mode::kOfb: OfbCrypt(c, chain.data(), i, o, size / b); break;
      case Mode::kCfb:
        encrypt ? CfbEncrypt(c, chain.data(), i, o, size / b) : CfbDecrypt(c, chain.data(), i, o, size / b);
        break;
      case Mode::kCfb1:
        encrypt ? Cfb1Encrypt(c, chain.data(), i, o, size) : Cfb1Decrypt(c, chain.data(), i, o, size);
        break;
    }
  };
  run(0, split);
  run(split, in.size() - split);
  return out;
}

class BlockModesTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    if (GetParam() != AesPath::kTables && AesInstructions() == nullptr) GTEST_SKIP() << "no AES instructions";
    AesUsePath(GetParam());
  }
  void TearDown() override { AesUsePath(AesPath::kBest); }
};

TEST_P(BlockModesTest, EveryEngineAndModeAgreesWithLibcrypto) {
  std::mt19937 rng(2024);
  const auto random = [&](std::size_t n) {
    Bytes out(n);
    for (auto &c : out) c = static_cast<unsigned char>(rng());
    return out;
  };
  for (const Engine &engine : Engines()) {
    for (Mode mode : engine.modes) {
      const std::string name = OpenSslName(engine, mode);
      SCOPED_TRACE(name);
      const Bytes key = random(engine.key_size), iv = random(engine.block_size);
      const Keyed keyed = engine.make(key);
      const std::size_t b = engine.block_size;
      // Lengths in blocks around the batch of eight the modes hand over at once.
      for (std::size_t blocks : {1u, 3u, 8u, 9u, 17u}) {
        const Bytes plain = random(blocks * b);
        const std::size_t split = (blocks / 2) * b;
#if YDR_CRYPTO_PEER
        const Bytes theirs =
            test::OpenSslCrypt(name.c_str(), true, key.data(), mode == Mode::kEcb ? nullptr : iv.data(), plain);
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

TEST(PkcsPaddingTest, PadsEveryLengthAndRefusesWhatIsNotPadding) {
  for (std::size_t block : {8u, 16u}) {
    for (std::size_t used = 0; used < block; ++used) {
      Bytes b(block, 0xEE);
      PadPkcs(b.data(), used, block);
      std::size_t kept = 99;
      ASSERT_TRUE(UnpadPkcs(b.data(), block, &kept));
      EXPECT_EQ(kept, used);
      for (std::size_t i = used; i < block; ++i) EXPECT_EQ(b[i], block - used);
    }
    Bytes zero(block, 0), too_big(block, static_cast<unsigned char>(block + 1)), mixed(block, 3);
    mixed[block - 2] = 4;
    std::size_t kept = 0;
    EXPECT_FALSE(UnpadPkcs(zero.data(), block, &kept));
    EXPECT_FALSE(UnpadPkcs(too_big.data(), block, &kept));
    EXPECT_FALSE(UnpadPkcs(mixed.data(), block, &kept));
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BlockModesTest,
                         ::testing::Values(AesPath::kTables, AesPath::kInstructions128, AesPath::kBest),
                         [](const auto &info) {
                           return info.param == AesPath::kTables            ? "Tables"
                                  : info.param == AesPath::kInstructions128 ? "Instructions128"
                                                                            : "WidestInstructions";
                         });

}  // namespace
}  // namespace ydr::crypto
