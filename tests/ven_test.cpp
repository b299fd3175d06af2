// The key objects: each kind's key rebuilt from the password by the documented rules and the
// output checked against libcrypto under it; unit counts and lengths; kind 4's one stream.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#include <openssl/sha.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/bytes.h"
#if YDR_CRYPTO_PEER
#include "tests/support/openssl_ciphers.h"
#endif
#include "ydr/ven.h"

namespace {

using ydr::test::Bytes;
using Password = std::u16string;

const unsigned short *P(const Password &p) { return reinterpret_cast<const unsigned short *>(p.c_str()); }

// A key object of either family: kinds 1 to 4, or 5 for a VENLVO object.
struct KeyObject {
  KeyObject(const Password &password, unsigned kind)
      : ven(kind <= 4 ? VENCreate(P(password), kind) : nullptr),
        lvo(kind == 5 ? VENLVOCreate(P(password), 0) : nullptr) {}
  ~KeyObject() { ven ? VENRelease(ven) : VENLVORelease(lvo); }
  void Write(unsigned char *data, int n) { ven ? VENWriteBlock(ven, data, n) : VENLVOWriteBlock(lvo, data, n); }
  void Read(unsigned char *data, int n) { ven ? VENReadBlock(ven, data, n) : VENLVOReadBlock(lvo, data, n); }
  HVEN ven;
  HVENLVO lvo;
};

#if YDR_CRYPTO_PEER
unsigned char Rotl1(unsigned v) { return static_cast<unsigned char>(v << 1 | v >> 7); }

// SHA-1 over the text fed once per started 64 bytes.
Bytes DigestPassword(const Bytes &text) {
  Bytes fed, digest(20);
  for (std::size_t i = 0; i < (text.size() + 63) / 64; ++i) fed.insert(fed.end(), text.begin(), text.end());
  SHA1(fed.data(), fed.size(), digest.data());
  return digest;
}

// Each kind's key by the documented rules; the password's bytes in memory order, low byte first.
Bytes RebuiltKey(const Password &p, unsigned kind) {
  Bytes bytes, key;
  for (char16_t c : p)
    bytes.insert(bytes.end(), {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)});
  if (kind == 5) return Bytes(bytes.begin(), bytes.begin() + 16);
  if (kind == 4) {  // 160 units' high and low bytes (zero: the byte before, rotated), digested; 16 bytes
    Bytes text;
    unsigned char previous = 0x5A;
    for (std::size_t i = 0; i < p.size() && i < 160; ++i) {
      for (const unsigned char byte :
           {static_cast<unsigned char>(p[i] >> 8), static_cast<unsigned char>(p[i] & 0xFF)}) {
        text.push_back(byte ? byte : Rotl1(previous));
      }
      previous = text.back();
    }
    key = DigestPassword(text);
    key.resize(16);
  } else if (kind == 3) {  // the first 40 code units folded into four words
    std::uint16_t w[4] = {};
    for (std::size_t i = 0; i < p.size() && i < 40; ++i) w[i % 4] = static_cast<std::uint16_t>((w[i % 4] << 1) ^ p[i]);
    for (std::uint16_t word : w)
      key.insert(key.end(), {static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8)});
  } else {  // kinds 1 and 2: the bytes folded into seven, rotated; their 56 bits spread over eight bytes
    unsigned char k[7] = {};
    for (std::size_t i = 0; i < bytes.size(); ++i) k[i % 7] = Rotl1(k[i % 7] ^ bytes[i]);
    std::uint64_t bits = 0;
    for (unsigned char b : k) bits = bits << 8 | b;
    for (int m = 0; m < 8; ++m)
      key.push_back(static_cast<unsigned char>((bits >> (49 - 7 * m) & 0x7F) << 1 | (m < 7 ? k[m] & 1 : 0)));
  }
  return key;
}
#endif

const Password kPasswords[] = {
    u"", u"secret", u"비밀번호 문서", u"\u0100\u00ff\u1234x", Password(45, u'z'), Password(170, u'q') + u"tail"};

// In pieces: kind 4's units over one object's calls form one stream, which a new object reads.
TEST(VenTest, EveryKindMatchesLibcryptoUnderTheRebuiltKey) {
  std::mt19937 rng(51);
  for (const Password &password : kPasswords) {
    const Bytes plain = ydr::test::RandomBytes(rng, 96);
    for (unsigned kind = 1; kind <= 5; ++kind) {  // 5: a VENLVO object, for passwords of 8 units or more
      SCOPED_TRACE(testing::Message() << "kind " << kind << " password length " << password.size());
      if (kind == 5 && password.size() < 8) continue;
      KeyObject writer(password, kind), reader(password, kind);
      ASSERT_TRUE(writer.ven != nullptr || writer.lvo != nullptr);
      Bytes data = plain;
      for (const auto &[at, n] : {std::pair{0, 16}, {16, 32}, {48, 48}}) writer.Write(&data[at], n);
#if YDR_CRYPTO_PEER
      const Bytes key = RebuiltKey(password, kind), zero(16, 0);
      const char *cipher = kind == 5 ? "AES-128-ECB" : kind == 4 ? "AES-128-CFB1" : "DES-ECB";
      EXPECT_EQ(data, ydr::test::OpenSslEncrypt(cipher, key.data(), zero.data(), plain));
#else
      EXPECT_NE(data, plain);
#endif
      Bytes back = data, fresh = data;
      writer.Read(back.data(), 96);
      EXPECT_EQ(back == plain, kind != 4);
      reader.Read(fresh.data(), 32);
      reader.Read(fresh.data() + 32, 64);
      EXPECT_EQ(fresh, plain);
    }
  }
}

TEST(VenTest, UnitCountsAndLengths) {
  EXPECT_EQ(VENCreate(P(u"x"), 0), nullptr);
  EXPECT_EQ(VENCreate(P(u"x"), 5), nullptr);
  EXPECT_EQ(VENLVOCreate(P(u"seven77"), 0), nullptr);  // shorter than 8 code units
  struct Case {
    unsigned kind;  // 5: a VENLVO object
    int length, changed;
  };
  const Case cases[] = {
      {1, 7, 0},   {1, 0, 0},   {1, -8, 0},  {1, 12, 8},  {3, 23, 16},  // DES: whole 8-byte blocks
      {4, 7, 0},   {4, 20, 16}, {4, 24, 32}, {4, 31, 32},               // AES: 16-byte units, rounded up
      {5, 20, 16}, {5, 24, 32}, {5, -16, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " length " << c.length);
    Bytes data(48, 0xA5);
    KeyObject(u"lengths!", c.kind).Write(data.data(), c.length);
    const auto last = std::find_if(data.rbegin(), data.rend(), [](unsigned char b) { return b != 0xA5; });
    const int last_changed = static_cast<int>(last.base() - data.begin());
    EXPECT_LE(last_changed, c.changed);
    EXPECT_GT(last_changed, c.changed - 8);  // (a byte may encrypt to itself, but not eight)
  }
}

#if YDR_CRYPTO_PEER
TEST(VenTest, DigestPasswordFeedsThePasswordOncePerStartedSixtyFourBytes) {
  for (std::size_t n : {0u, 1u, 64u, 65u, 129u}) {
    const std::string password(n, 'm');
    std::string expected = ydr::test::ToHex(DigestPassword(Bytes(password.begin(), password.end())));
    for (char &c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    char output[48];
    std::memset(output, 0x7F, sizeof output);
    EXPECT_EQ(VENLVZMakePassword(password.c_str(), output), output);
    // Upper-case digits, then zeros up to byte 45 and nothing past it.
    EXPECT_EQ(std::string(output, 46), expected + std::string(5, '\0') + '\x7F') << n;
  }
}
#endif

}  // namespace
