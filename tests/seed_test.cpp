// SEED's exports: OpenSSL's SEED as the peer in every mode and padding on random messages
// fed in random pieces, and the buffering and status rules that callers build on. (The
// cipher's known answers are in block_cipher_test.cpp.)
#include <gtest/gtest.h>

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

// A whole message through our Update/Final in pieces of the given sizes (cycled): the status
// of the first failing call, else 0, with the output in *out.
unsigned Stream(YDR_SEED_ALG_INFO &info, bool encrypt, const Bytes &in, const std::vector<std::size_t> &pieces,
                Bytes *out) {
  encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info);
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

TEST(SeedTest, KeyOfAnyOtherLengthIsRefusedAndLeavesTheRecordAlone) {
  const Bytes key(17, 0x42);
  for (unsigned length : {0u, 15u, 17u, 32u}) {
    YDR_SEED_ALG_INFO info;
    std::memset(&info, 0x5A, sizeof info);
    const YDR_SEED_ALG_INFO before = info;
    EXPECT_EQ(YDR_SEED_KeySchedule(key.data(), length, &info), 0x1002u) << length;
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  }
  // The schedule writes the round keys only.
  YDR_SEED_ALG_INFO info;
  std::memset(&info, 0x5A, sizeof info);
  ASSERT_EQ(YDR_SEED_KeySchedule(key.data(), 16, &info), 0u);
  EXPECT_EQ(info.mode, 0x5A5A5A5Au);
  EXPECT_EQ(info.bufferedLength, 0x5A5A5A5Au);
  EXPECT_EQ(info.buffer[15], 0x5A);
}

TEST(SeedTest, AgreesWithOpenSslInEveryModeAndPaddingWhateverThePieces) {
  struct Mode {
    unsigned mode;
    const char *name;
    bool block;
  };
  const Mode modes[] = {{YDR_SEED_MODE_ECB, "SEED-ECB", true},
                        {YDR_SEED_MODE_CBC, "SEED-CBC", true},
                        {YDR_SEED_MODE_OFB, "SEED-OFB", false},
                        {YDR_SEED_MODE_CFB, "SEED-CFB", false}};
  std::mt19937 rng(4269);
  for (const Mode &m : modes) {
    for (unsigned padding : {YDR_SEED_PAD_NONE, YDR_SEED_PAD_PKCS}) {
      for (std::size_t trial = 0; trial < 40; ++trial) {
        const Bytes key = Random(rng, 16), iv = Random(rng, 16);
        std::size_t length = trial <= 16 ? trial : rng() % 300;  // every padding length, the empty message
        if (m.block && padding == YDR_SEED_PAD_NONE) length -= length % 16;
        const Bytes plain = Random(rng, length);
        const std::vector<std::size_t> pieces = {rng() % 40 + 1, rng() % 3 + 1, rng() % 70 + 1};
        SCOPED_TRACE(testing::Message() << m.name << " padding " << padding << " length " << length);
        YDR_SEED_ALG_INFO info = Record(m.mode, padding, key, iv.data());
        Bytes cipher, back;
        ASSERT_EQ(Stream(info, true, plain, pieces, &cipher), 0u);
#if YDR_CRYPTO_PEER
        const bool pad = m.block && padding == YDR_SEED_PAD_PKCS;
        ASSERT_EQ(cipher, ydr::test::OpenSslCrypt(m.name, true, key.data(),
                                                  m.mode == YDR_SEED_MODE_ECB ? nullptr : iv.data(), plain, pad));
#endif
        ASSERT_EQ(Stream(info, false, cipher, pieces, &back), 0u);
        ASSERT_EQ(back, plain);
      }
    }
  }
}

TEST(SeedTest, StatusCodes) {
  const Bytes key(16, 1);
  unsigned char out[64];
  unsigned n = 0;
  Bytes result;
  const Bytes twenty(20, 'x');

  // Encryption without padding ending inside a block; OFB and CFB do not care.
  for (unsigned mode : {YDR_SEED_MODE_ECB, YDR_SEED_MODE_CBC}) {
    YDR_SEED_ALG_INFO info = Record(mode, YDR_SEED_PAD_NONE, key, nullptr);
    EXPECT_EQ(Stream(info, true, twenty, {20}, &result), 0x1004u);
    EXPECT_EQ(Stream(info, false, twenty, {20}, &result), 0x1005u);
    info = Record(mode, 3, key, nullptr);  // unknown padding
    EXPECT_EQ(Stream(info, true, twenty, {20}, &result), 0x1001u);
  }
  for (unsigned mode : {YDR_SEED_MODE_OFB, YDR_SEED_MODE_CFB}) {  // which take any padding value
    YDR_SEED_ALG_INFO info = Record(mode, 9, key, nullptr);
    EXPECT_EQ(Stream(info, true, twenty, {7}, &result), 0u);
    EXPECT_EQ(result.size(), 20u);
  }

  // Unknown modes: Init succeeds, Update and Final refuse.
  for (unsigned mode : {0u, 5u}) {
    YDR_SEED_ALG_INFO info = Record(mode, YDR_SEED_PAD_PKCS, key, nullptr);
    EXPECT_EQ(YDR_SEED_EncInit(&info), 0u);
    EXPECT_EQ(YDR_SEED_EncUpdate(&info, twenty.data(), 3, out, &n), 0x1001u);
    EXPECT_EQ(YDR_SEED_EncFinal(&info, out, &n), 0x1001u);
    EXPECT_EQ(YDR_SEED_DecInit(&info), 0u);
    EXPECT_EQ(YDR_SEED_DecUpdate(&info, twenty.data(), 3, out, &n), 0x1001u);
    EXPECT_EQ(YDR_SEED_DecFinal(&info, out, &n), 0x1001u);
  }

  // Bad padding in the last block: value 0, value 17, bytes that differ.
  for (unsigned char last : {0, 17, 3}) {
    unsigned char block[16];
    std::memset(block, 4, 16);  // for 3: the last three bytes are 4, 4, 3
    block[15] = last;
    YDR_SEED_ALG_INFO info = Record(YDR_SEED_MODE_ECB, YDR_SEED_PAD_NONE, key, nullptr);
    Bytes cipher;
    ASSERT_EQ(Stream(info, true, Bytes(block, block + 16), {16}, &cipher), 0u);
    info.paddingType = YDR_SEED_PAD_PKCS;
    EXPECT_EQ(Stream(info, false, cipher, {16}, &result), 0x1003u) << int{last};
  }
  // Empty decryption ends fine whatever the padding.
  YDR_SEED_ALG_INFO info = Record(YDR_SEED_MODE_CBC, 77, key, nullptr);
  YDR_SEED_DecInit(&info);
  EXPECT_EQ(YDR_SEED_DecFinal(&info, out, &n), 0u);
  EXPECT_EQ(n, 0u);
}

TEST(SeedTest, UpdateWillNotWriteOverItsOwnInput) {
  const Bytes key(16, 9);
  for (bool encrypt : {true, false}) {
    YDR_SEED_ALG_INFO info = Record(YDR_SEED_MODE_CBC, YDR_SEED_PAD_PKCS, key, nullptr);
    encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info);
    unsigned char data[40] = {};
    unsigned n = 0;
    // Below the point where output is due, the bytes are simply held.
    const unsigned held = encrypt ? 15 : 16;
    auto update = encrypt ? YDR_SEED_EncUpdate : YDR_SEED_DecUpdate;
    EXPECT_EQ(update(&info, data, held, data, &n), 0u);
    EXPECT_EQ(info.bufferedLength, held);
    const YDR_SEED_ALG_INFO before = info;
    EXPECT_EQ(update(&info, data, 1, data, &n), 0x1001u);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);  // nothing consumed
    unsigned char out[32];
    EXPECT_EQ(update(&info, data, 1, out, &n), 0u);
    EXPECT_EQ(n, 16u);
  }
}

}  // namespace
