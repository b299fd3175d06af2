// SHA-1: the FIPS 180 examples, OpenSSL as the peer on random messages split anywhere, and
// the record's state that callers may rely on.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/sha1_blocks.h"
#include "tests/support/bytes.h"
#include "ydr/sha1.h"

namespace {

std::string Hex(const unsigned char *bytes, std::size_t n) {
  return ydr::test::ToHex(ydr::test::Bytes(bytes, bytes + n));
}

std::string Digest(const std::vector<std::string> &pieces) {
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  for (const std::string &p : pieces) {
    YDR_SHA1_Update(&info, reinterpret_cast<const unsigned char *>(p.data()), static_cast<unsigned int>(p.size()));
  }
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  return Hex(digest, 20);
}

#if YDR_CRYPTO_PEER
std::string OpenSslDigest(const std::string &message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(message.data(), message.size(), digest, &n, EVP_sha1(), nullptr);
  return Hex(digest, n);
}
#endif

TEST(Sha1Test, FipsExamples) {
  EXPECT_EQ(Digest({}), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Digest({"abc"}), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Digest({"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"}),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  const std::string thousand(1000, 'a');
  EXPECT_EQ(Digest(std::vector<std::string>(1000, thousand)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

#if YDR_CRYPTO_PEER
TEST(Sha1Test, AgreesWithOpenSslWhereverTheMessageIsSplit) {
  std::mt19937 rng(180);
  for (int trial = 0; trial < 300; ++trial) {
    std::string message(rng() % 1000, '\0');
    for (char &c : message) c = static_cast<char>(rng());
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < message.size();) {
      const std::size_t n = std::min<std::size_t>(rng() % 130, message.size() - at);  // zero-length pieces too
      pieces.push_back(message.substr(at, n));
      at += n;
    }
    ASSERT_EQ(Digest(pieces), OpenSslDigest(message)) << message.size();
  }
}
#endif

#if YDR_CRYPTO_PEER
TEST(Sha1Test, MisalignedInputGivesTheSameDigestAndIsNotChanged) {
  std::vector<unsigned char> storage(1000 + 8);
  for (std::size_t i = 0; i < storage.size(); ++i) storage[i] = static_cast<unsigned char>(i * 7);
  const std::vector<unsigned char> before = storage;
  std::string expected;
  for (std::size_t offset = 0; offset < 4; ++offset) {
    YDR_SHA1_ALG_INFO info;
    YDR_SHA1_Init(&info);
    YDR_SHA1_Update(&info, storage.data() + offset, 1000);
    unsigned char digest[20];
    YDR_SHA1_Final(&info, digest);
    const std::string message(reinterpret_cast<const char *>(storage.data() + offset), 1000);
    EXPECT_EQ(Hex(digest, 20), OpenSslDigest(message)) << offset;
  }
  EXPECT_EQ(storage, before);
}
#endif

#if YDR_CRYPTO_PEER
TEST(Sha1Test, TheRecordShowsItsState) {
  YDR_SHA1_ALG_INFO info;
  std::memset(&info, 0xAB, sizeof info);
  YDR_SHA1_Init(&info);
  EXPECT_EQ(info.count[0], 0u);
  EXPECT_EQ(info.count[1], 0u);
  EXPECT_EQ(info.count[2], 0xABABABABu);  // reserved words are left alone
  const std::string text(70, 'x');
  YDR_SHA1_Update(&info, reinterpret_cast<const unsigned char *>(text.data()), 70);
  EXPECT_EQ(info.count[0], 560u);                          // bits
  EXPECT_EQ(std::memcmp(info.buffer, text.data(), 6), 0);  // six bytes wait

  // A copy forks the computation.
  YDR_SHA1_ALG_INFO fork = info;
  unsigned char a[20], b[20];
  YDR_SHA1_Update(&fork, reinterpret_cast<const unsigned char *>("y"), 1);
  YDR_SHA1_Final(&info, a);
  YDR_SHA1_Final(&fork, b);
  EXPECT_EQ(Hex(a, 20), OpenSslDigest(text));
  EXPECT_EQ(Hex(b, 20), OpenSslDigest(text + "y"));
  // After Final the chaining words are the digest in host order.
  for (int w = 0; w < 5; ++w) {
    EXPECT_EQ(info.chain[w], static_cast<unsigned>(a[4 * w]) << 24 | static_cast<unsigned>(a[4 * w + 1]) << 16 |
                                 static_cast<unsigned>(a[4 * w + 2]) << 8 | a[4 * w + 3]);
  }
  // 55 waiting bytes need one more block in Final, 56 two: both as OpenSSL says.
  for (std::size_t n : {55u, 56u, 63u, 64u})
    EXPECT_EQ(Digest({std::string(n, 'q')}), OpenSslDigest(std::string(n, 'q')));
}
#endif

TEST(Sha1Test, BitCountCarriesIntoTheHighWord) {
  // The count is the caller's record: start it just below 2^32 bits (whole blocks, nothing
  // waiting) and feed 40 bytes.
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  info.count[0] = 0xFFFFFFC0u;
  const std::string bytes(40, 'z');
  YDR_SHA1_Update(&info, reinterpret_cast<const unsigned char *>(bytes.data()), 40);
  EXPECT_EQ(info.count[1], 1u);
  EXPECT_EQ(info.count[0], 320u - 64u);
}

#if YDR_CRYPTO_PEER
TEST(Sha1Test, AMessageOverTwoToTheTwentyNineBytes) {
#ifndef NDEBUG
  GTEST_SKIP() << "hashes 512 MiB: run in the optimised build";
#endif
  // 2^29 + 100 bytes: 8 times that overflows the low count word.
  const std::size_t total = (std::size_t{1} << 29) + 100;
  std::string piece(1 << 20, '\0');
  for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 31 + 7);
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  EVP_MD_CTX *peer = EVP_MD_CTX_new();
  EVP_DigestInit_ex(peer, EVP_sha1(), nullptr);
  for (std::size_t fed = 0; fed < total;) {
    const std::size_t n = std::min(piece.size(), total - fed);
    YDR_SHA1_Update(&info, reinterpret_cast<const unsigned char *>(piece.data()), static_cast<unsigned int>(n));
    EVP_DigestUpdate(peer, piece.data(), n);
    fed += n;
  }
  EXPECT_EQ(info.count[1], 1u);
  EXPECT_EQ(info.count[0], 800u);
  unsigned char ours[20], theirs[20];
  unsigned int n = 0;
  YDR_SHA1_Final(&info, ours);
  EVP_DigestFinal_ex(peer, theirs, &n);
  EVP_MD_CTX_free(peer);
  EXPECT_EQ(Hex(ours, 20), Hex(theirs, 20));
}
#endif

}  // namespace

namespace ydr::crypto {
namespace {

// The CPU's SHA instructions and the portable rounds give the same chaining values on any
// number of blocks from any starting state.
TEST(Sha1BlocksTest, BothVariantsAgree) {
  const Sha1BlocksFunction shani = Sha1Variant_shani();
  if (shani == nullptr) GTEST_SKIP() << "this CPU has no SHA instructions (or they are disabled)";
  std::mt19937 rng(11);
  std::vector<unsigned char> data(64 * 40 + 3);
  for (unsigned char &b : data) b = static_cast<unsigned char>(rng());
  for (std::size_t blocks : {0u, 1u, 2u, 7u, 40u}) {
    for (std::size_t offset : {0u, 3u}) {  // unaligned loads too
      unsigned int a[5], b[5];
      for (int i = 0; i < 5; ++i) a[i] = b[i] = static_cast<unsigned int>(rng());
      Sha1Blocks_generic(a, data.data() + offset, blocks);
      shani(b, data.data() + offset, blocks);
      EXPECT_EQ(std::vector<unsigned int>(a, a + 5), std::vector<unsigned int>(b, b + 5)) << blocks << " " << offset;
    }
  }
}

}  // namespace
}  // namespace ydr::crypto
