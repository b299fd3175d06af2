// The key objects: each kind's key rebuilt here from the password by the documented rules
// (written apart from the library, with libcrypto's SHA-1) and the objects' output checked
// against libcrypto under that key; unit counts and lengths; the continuous kind 4 stream.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crypto/aes_engine.h"
#include "tests/support/bytes.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif
#include "ydr/ven.h"

namespace {

using ydr::crypto::AesPath;
using ydr::test::Bytes;
using Password = std::u16string;

const unsigned short *P(const Password &p) { return reinterpret_cast<const unsigned short *>(p.c_str()); }

#if YDR_CRYPTO_PEER
Bytes PasswordBytes(const Password &p) {  // memory order: low byte of each unit first
  Bytes out;
  for (char16_t c : p)
    out.insert(out.end(), {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)});
  return out;
}

// Kinds 1 and 2: the bytes folded into seven, rotated; their 56 bits spread over eight bytes.
Bytes ByteFold(const Password &p) {
  unsigned char k[7] = {};
  const Bytes bytes = PasswordBytes(p);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned v = k[i % 7] ^ bytes[i];
    k[i % 7] = static_cast<unsigned char>(((v << 1) | (v >> 7)) & 0xFF);
  }
  std::uint64_t bits = 0;
  for (unsigned char b : k) bits = bits << 8 | b;
  Bytes key(8);
  for (int m = 0; m < 8; ++m) {
    const unsigned seven = static_cast<unsigned>((bits >> (49 - 7 * m)) & 0x7F);
    key[m] = static_cast<unsigned char>(seven << 1 | (m < 7 ? (k[m] & 1) : 0));
  }
  return key;
}

// Kind 3: the first 40 code units folded into four words.
Bytes WordFold(const Password &p) {
  std::uint16_t w[4] = {};
  for (std::size_t i = 0; i < p.size() && i < 40; ++i) w[i % 4] = static_cast<std::uint16_t>((w[i % 4] << 1) ^ p[i]);
  Bytes key;
  for (std::uint16_t word : w)
    key.insert(key.end(), {static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8)});
  return key;
}

// SHA-1 over the text fed once per started 64 bytes.
Bytes DigestPassword(const Bytes &text) {
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
  for (std::size_t i = 0; i < (text.size() + 63) / 64; ++i) EVP_DigestUpdate(ctx, text.data(), text.size());
  Bytes digest(20);
  EVP_DigestFinal_ex(ctx, digest.data(), nullptr);
  EVP_MD_CTX_free(ctx);
  return digest;
}

std::string UpperHex(const Bytes &bytes) {
  std::string hex = ydr::test::ToHex(bytes);
  for (char &c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

// Kind 4: each unit's high and low bytes (a zero byte replaced by the previous byte rotated),
// at most 160 units, digested; the key is the digest's first 16 bytes.
Bytes Kind4Key(const Password &p) {
  Bytes text;
  unsigned char previous = 0x5A;
  for (std::size_t i = 0; i < p.size() && i < 160; ++i) {
    for (const unsigned char byte : {static_cast<unsigned char>(p[i] >> 8), static_cast<unsigned char>(p[i] & 0xFF)}) {
      text.push_back(byte ? byte : static_cast<unsigned char>((previous << 1) | (previous >> 7)));
    }
    previous = text.back();
  }
  const Bytes digest = DigestPassword(text);
  return Bytes(digest.begin(), digest.begin() + 16);
}
#endif

const Password kPasswords[] = {
    u"", u"a", u"secret", u"비밀번호 문서", u"\u0100\u00ff\u1234x", Password(45, u'z'), Password(170, u'q') + u"tail"};

class VenPathTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    if (GetParam() != AesPath::kTables && ydr::crypto::AesInstructions() == nullptr)
      GTEST_SKIP() << "no AES instructions";
    ydr::crypto::AesUsePath(GetParam());
  }
  void TearDown() override { ydr::crypto::AesUsePath(AesPath::kBest); }
};

// Written in pieces and read back in others: kind 4's units over all calls of one object
// form one stream, so its writer cannot read the data back, and a new object can.
TEST_P(VenPathTest, EveryKindMatchesLibcryptoUnderTheRebuiltKey) {
  std::mt19937 rng(51);
  for (const Password &password : kPasswords) {
    const Bytes plain = ydr::test::RandomBytes(rng, 96);
    for (unsigned kind = 1; kind <= 5; ++kind) {  // 5: a VENLVO object, for passwords of 8 units or more
      SCOPED_TRACE(testing::Message() << "kind " << kind << " password length " << password.size());
      if (kind == 5 && password.size() < 8) continue;
      HVEN ven = kind <= 4 ? VENCreate(P(password), kind) : nullptr;
      HVENLVO lvo = kind == 5 ? VENLVOCreate(P(password), 0) : nullptr;
      ASSERT_TRUE(ven != nullptr || lvo != nullptr);
      Bytes data = plain;
      for (const auto &[at, n] : {std::pair{0, 16}, {16, 32}, {48, 48}}) {
        ven ? VENWriteBlock(ven, &data[at], n) : VENLVOWriteBlock(lvo, &data[at], n);
      }
#if YDR_CRYPTO_PEER
      const Bytes bytes = PasswordBytes(password), zero(16, 0);
      const Bytes key = kind == 5   ? Bytes(bytes.begin(), bytes.begin() + 16)
                        : kind == 4 ? Kind4Key(password)
                        : kind == 3 ? WordFold(password)
                                    : ByteFold(password);
      const char *cipher = kind == 5 ? "AES-128-ECB" : kind == 4 ? "AES-128-CFB1" : "DES-ECB";
      EXPECT_EQ(data, ydr::test::OpenSslCrypt(cipher, true, key.data(), zero.data(), plain));
#else
      EXPECT_NE(data, plain);
#endif
      Bytes back = data;
      ven ? VENReadBlock(ven, back.data(), 96) : VENLVOReadBlock(lvo, back.data(), 96);
      EXPECT_EQ(back == plain, kind != 4);
      if (ven) {
        VENRelease(ven);
        ven = VENCreate(P(password), kind);
        back = data;
        VENReadBlock(ven, back.data(), 32);
        VENReadBlock(ven, back.data() + 32, 64);
        EXPECT_EQ(back, plain);
        VENRelease(ven);
      } else {
        VENLVORelease(lvo);
      }
    }
  }
}

const char *const kPathNames[] = {"WidestInstructions", "Tables", "Instructions128"};  // AesPath's order
INSTANTIATE_TEST_SUITE_P(Paths, VenPathTest,
                         ::testing::Values(AesPath::kTables, AesPath::kInstructions128, AesPath::kBest),
                         [](const auto &info) { return std::string(kPathNames[static_cast<int>(info.param)]); });

TEST(VenTest, UnitCountsAndLengths) {
  EXPECT_EQ(VENCreate(P(u"x"), 0), nullptr);
  EXPECT_EQ(VENCreate(P(u"x"), 5), nullptr);
  EXPECT_EQ(VENLVOCreate(P(u"seven77"), 0), nullptr);  // shorter than 8 code units
  struct Case {
    unsigned kind;
    int length;
    int changed;
  };  // kind 5: a VENLVO object
  const Case cases[] = {
      {1, 7, 0},   {1, 0, 0},   {1, -8, 0},  {1, 12, 8},  {3, 23, 16},  // DES: whole 8-byte blocks
      {4, 7, 0},   {4, 20, 16}, {4, 24, 32}, {4, 31, 32},               // AES: 16-byte units, rounded up
      {5, 20, 16}, {5, 24, 32}, {5, -16, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " length " << c.length);
    Bytes data(48, 0xA5);
    HVEN ven = c.kind <= 4 ? VENCreate(P(u"lengths!"), c.kind) : nullptr;
    HVENLVO lvo = c.kind == 5 ? VENLVOCreate(P(u"lengths!"), 0) : nullptr;
    ven ? VENWriteBlock(ven, data.data(), c.length) : VENLVOWriteBlock(lvo, data.data(), c.length);
    int last_changed = 0;
    for (int i = 0; i < 48; ++i) {
      if (data[static_cast<std::size_t>(i)] != 0xA5) last_changed = i + 1;
    }
    EXPECT_LE(last_changed, c.changed);
    EXPECT_GT(last_changed, c.changed - 8);  // (a byte may encrypt to itself, but not eight)
    ven ? VENRelease(ven) : VENLVORelease(lvo);
  }
}

#if YDR_CRYPTO_PEER
TEST(VenTest, DigestPasswordFeedsThePasswordOncePerStartedSixtyFourBytes) {
  for (std::size_t n : {0u, 1u, 64u, 65u, 129u}) {
    const std::string password(n, 'm');
    char output[48];
    std::memset(output, 0x7F, sizeof output);
    EXPECT_EQ(VENLVZMakePassword(password.c_str(), output), output);
    EXPECT_EQ(std::string(output), UpperHex(DigestPassword(Bytes(password.begin(), password.end())))) << n;
    for (int i = 40; i < 45; ++i) EXPECT_EQ(output[i], 0) << i;
    EXPECT_EQ(output[45], 0x7F);  // nothing past the 45 bytes
  }
}
#endif

}  // namespace
