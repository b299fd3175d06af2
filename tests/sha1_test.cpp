// SHA-1: the FIPS 180 examples, OpenSSL as the peer on random messages cut anywhere, the
// record's state that callers may rely on, and the CPU's SHA instructions against the
// portable rounds.
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

const unsigned char *Data(const std::string &text) { return reinterpret_cast<const unsigned char *>(text.data()); }

// Ours, the message fed in pieces of the given lengths in turn (at least one not zero), read
// from `shift` bytes into `stored` (whole blocks are read where the message starts, plus 64s).
std::string Digest(const std::string &message, const std::vector<std::size_t> &pieces = {1000},
                   const std::string &stored = "", std::size_t shift = 0) {
  const unsigned char *data = stored.empty() ? Data(message) : Data(stored) + shift;
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  for (std::size_t at = 0, k = 0; at < message.size(); ++k) {
    const std::size_t n = std::min(pieces[k % pieces.size()], message.size() - at);
    YDR_SHA1_Update(&info, data + at, static_cast<unsigned int>(n));
    at += n;
  }
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  return Hex(digest, 20);
}

TEST(Sha1Test, FipsExamples) {
  EXPECT_EQ(Digest(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Digest("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Digest(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

#if YDR_CRYPTO_PEER
std::string OpenSslDigest(const std::string &message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(message.data(), message.size(), digest, &n, EVP_sha1(), nullptr);
  return Hex(digest, n);
}

// Pieces of every length and alignment, whole blocks read straight from unaligned input.
TEST(Sha1Test, AgreesWithOpenSslWhereverTheMessageIsCutAndLeavesItAlone) {
  std::mt19937 rng(180);
  for (int trial = 0; trial < 300; ++trial) {
    std::string message(rng() % 1000, '\0');
    for (char &c : message) c = static_cast<char>(rng());
    const std::size_t shift = trial % 4;
    const std::string stored = std::string(shift, '\0') + message;
    ASSERT_EQ(Digest(message, {0, rng() % 130, rng() % 130, rng() % 130 + 1}, stored, shift), OpenSslDigest(message))
        << message.size() << " bytes from " << shift;
    ASSERT_EQ(stored.substr(shift), message);
  }
}

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
    YDR_SHA1_Update(&info, Data(piece), static_cast<unsigned int>(n));
    EVP_DigestUpdate(peer, piece.data(), n);
    fed += n;
  }
  EXPECT_EQ(info.count[1], 1u);
  EXPECT_EQ(info.count[0], 800u);
  unsigned char ours[20], theirs[20];
  YDR_SHA1_Final(&info, ours);
  EVP_DigestFinal_ex(peer, theirs, nullptr);
  EVP_MD_CTX_free(peer);
  EXPECT_EQ(Hex(ours, 20), Hex(theirs, 20));
}
#endif

TEST(Sha1Test, TheRecordShowsItsState) {
  YDR_SHA1_ALG_INFO info;
  std::memset(&info, 0xAB, sizeof info);
  YDR_SHA1_Init(&info);
  EXPECT_EQ(info.count[0], 0u);
  EXPECT_EQ(info.count[1], 0u);
  EXPECT_EQ(info.count[2], 0xABABABABu);  // reserved words are left alone
  const std::string text(70, 'x');
  YDR_SHA1_Update(&info, Data(text), 70);
  EXPECT_EQ(info.count[0], 560u);                          // bits
  EXPECT_EQ(std::memcmp(info.buffer, text.data(), 6), 0);  // six bytes wait

  // A copy forks the computation.
  YDR_SHA1_ALG_INFO fork = info;
  unsigned char a[20], b[20];
  YDR_SHA1_Update(&fork, Data("y"), 1);
  YDR_SHA1_Final(&info, a);
  YDR_SHA1_Final(&fork, b);
  EXPECT_EQ(Hex(a, 20), Digest(text));
  EXPECT_EQ(Hex(b, 20), Digest(text + "y"));
  // After Final the chaining words are the digest in host order.
  for (int w = 0; w < 5; ++w) {
    EXPECT_EQ(info.chain[w], static_cast<unsigned>(a[4 * w]) << 24 | static_cast<unsigned>(a[4 * w + 1]) << 16 |
                                 static_cast<unsigned>(a[4 * w + 2]) << 8 | a[4 * w + 3]);
  }

  // The count is the caller's record: started just below 2^32 bits (whole blocks, nothing
  // waiting), 40 bytes more carry into the high word.
  YDR_SHA1_Init(&info);
  info.count[0] = 0xFFFFFFC0u;
  YDR_SHA1_Update(&info, Data(text), 40);
  EXPECT_EQ(info.count[1], 1u);
  EXPECT_EQ(info.count[0], 320u - 64u);
}

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
