// SEED's exports: libcrypto in every mode and padding on random messages fed in random pieces,
// and the buffering and status rules that callers build on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif
#include "ydr/seed.h"

namespace {

using ydr::test::Bytes;
const auto &Random = ydr::test::RandomBytes;

YDR_SEED_ALG_INFO Record(unsigned mode, unsigned padding, const Bytes &key, const unsigned char *iv) {
  YDR_SEED_ALG_INFO info;
  std::memset(&info, 0xCC, sizeof info);
  YDR_SEED_SetAlgInfo(mode, padding, iv, &info);
  EXPECT_EQ(YDR_SEED_KeySchedule(key.data(), 16, &info), 0u);
  return info;
}

// A message through Update (pieces of the sizes given, cycled) and Final: the first failing status.
unsigned Stream(YDR_SEED_ALG_INFO &info, bool encrypt, const Bytes &in, const std::vector<std::size_t> &pieces,
                Bytes *out) {
  EXPECT_EQ(encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info), 0u);
  out->clear();
  unsigned char buffer[1024 + 32];
  std::size_t at = 0;
  for (std::size_t k = 0; at < in.size(); ++k) {
    const std::size_t n = std::min(pieces[k % pieces.size()], in.size() - at);
    unsigned produced = 0;
    const std::size_t before = info.bufferedLength;
    const unsigned status =
        encrypt ? YDR_SEED_EncUpdate(&info, in.data() + at, static_cast<unsigned>(n), buffer, &produced)
                : YDR_SEED_DecUpdate(&info, in.data() + at, static_cast<unsigned>(n), buffer, &produced);
    if (status != 0) return status;
    // The header's bound, met exactly: complete blocks at once, less the last when decrypting.
    EXPECT_EQ(produced, (encrypt ? before + n : before + n - 1) / 16 * 16);
    out->insert(out->end(), buffer, buffer + produced);
    at += n;
  }
  unsigned produced = 0;
  const unsigned status =
      encrypt ? YDR_SEED_EncFinal(&info, buffer, &produced) : YDR_SEED_DecFinal(&info, buffer, &produced);
  if (status != 0) return status;
  EXPECT_LE(produced, 16u);
  out->insert(out->end(), buffer, buffer + produced);
  return 0;
}

TEST(SeedTest, AgreesWithLibcryptoInEveryModeAndPaddingWhateverThePieces) {
  const char *const names[] = {"SEED-ECB", "SEED-CBC", "SEED-OFB", "SEED-CFB"};  // the modes' order
  std::mt19937 rng(4269);
  for (unsigned mode = YDR_SEED_MODE_ECB; mode <= YDR_SEED_MODE_CFB; ++mode) {
    const bool block = mode <= YDR_SEED_MODE_CBC;
    for (unsigned padding : {YDR_SEED_PAD_NONE, YDR_SEED_PAD_PKCS}) {
      for (std::size_t trial = 0; trial < 40; ++trial) {
        const Bytes key = Random(rng, 16), iv = Random(rng, 16);
        std::size_t length = trial <= 16 ? trial : rng() % 300;  // every padding length, the empty message
        if (block && padding == YDR_SEED_PAD_NONE) length -= length % 16;
        const Bytes plain = Random(rng, length);
        const std::vector<std::size_t> pieces = {rng() % 40 + 1, rng() % 3 + 1, rng() % 70 + 1};
        const char *name = names[mode - YDR_SEED_MODE_ECB];
        SCOPED_TRACE(testing::Message() << name << " padding " << padding << " length " << length);
        YDR_SEED_ALG_INFO info = Record(mode, padding, key, iv.data());
        Bytes cipher, back;
        ASSERT_EQ(Stream(info, true, plain, pieces, &cipher), 0u);
#if YDR_CRYPTO_PEER
        ASSERT_EQ(cipher, ydr::test::OpenSslEncrypt(name, key.data(), mode == YDR_SEED_MODE_ECB ? nullptr : iv.data(),
                                                    plain, block && padding == YDR_SEED_PAD_PKCS));
#endif
        ASSERT_EQ(Stream(info, false, cipher, pieces, &back), 0u);
        ASSERT_EQ(back, plain);
      }
    }
  }
}

TEST(SeedTest, StatusCodesAndWhatTheyLeaveAlone) {
  const Bytes key(16, 1), twenty(20, 'x');
  for (unsigned length : {0u, 15u, 16u, 17u, 32u}) {  // the key schedule writes the round keys only
    YDR_SEED_ALG_INFO info;
    std::memset(&info, 0x5A, sizeof info);
    const YDR_SEED_ALG_INFO before = info;
    EXPECT_EQ(YDR_SEED_KeySchedule(twenty.data(), length, &info), length == 16 ? 0u : 0x1002u) << length;
    EXPECT_EQ(std::memcmp(&info, &before, length == 16 ? offsetof(YDR_SEED_ALG_INFO, roundKeys) : sizeof info), 0);
  }
  Bytes out;
  const auto status = [&](unsigned mode, unsigned padding, bool encrypt, const Bytes &in) {
    YDR_SEED_ALG_INFO info = Record(mode, padding, key, nullptr);
    return Stream(info, encrypt, in, {7}, &out);
  };
  // ECB and CBC end alike, as do OFB and CFB.
  EXPECT_EQ(status(YDR_SEED_MODE_CBC, YDR_SEED_PAD_NONE, true, twenty), 0x1004u);  // ending inside a block
  EXPECT_EQ(status(YDR_SEED_MODE_ECB, YDR_SEED_PAD_NONE, false, twenty), 0x1005u);
  EXPECT_EQ(status(YDR_SEED_MODE_CBC, 3, true, twenty), 0x1001u);  // an unknown padding...
  EXPECT_EQ(status(YDR_SEED_MODE_OFB, 3, true, twenty), 0u);       // ...which the stream modes never read
  EXPECT_EQ(status(YDR_SEED_MODE_CBC, 77, false, {}), 0u);         // an empty decryption, whatever the padding
  // Bad padding in the last block: value 0, value 17, bytes that differ (4, 4, 3).
  for (unsigned char last : {0, 17, 3}) {
    Bytes block(16, 4);
    block[15] = last;
    ASSERT_EQ(status(YDR_SEED_MODE_ECB, YDR_SEED_PAD_NONE, true, block), 0u);
    EXPECT_EQ(status(YDR_SEED_MODE_ECB, YDR_SEED_PAD_PKCS, false, Bytes(out)), 0x1003u) << int{last};
  }
  unsigned char data[40] = {};
  unsigned n = 0;
  for (bool encrypt : {true, false}) {
    const auto update = encrypt ? YDR_SEED_EncUpdate : YDR_SEED_DecUpdate;
    for (unsigned mode : {0u, 5u}) {  // unknown modes: Init succeeds, Final and Update refuse
      YDR_SEED_ALG_INFO info = Record(mode, YDR_SEED_PAD_PKCS, key, nullptr);
      EXPECT_EQ(Stream(info, encrypt, {}, {7}, &out), 0x1001u);  // Init, then Final
      EXPECT_EQ(update(&info, data, 3, data + 16, &n), 0x1001u);
    }
    // Once output is due, Update refuses to write it over its own input, and consumes nothing.
    YDR_SEED_ALG_INFO info = Record(YDR_SEED_MODE_CBC, YDR_SEED_PAD_PKCS, key, nullptr);
    encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info);
    EXPECT_EQ(update(&info, data, encrypt ? 15 : 16, data, &n), 0u);  // held: nothing is written yet
    const YDR_SEED_ALG_INFO before = info;
    EXPECT_EQ(update(&info, data, 1, data, &n), 0x1001u);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  }
}

}  // namespace
