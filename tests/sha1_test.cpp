// SHA-1: FIPS 180's examples, libcrypto on random messages cut anywhere, the caller's record,
// and the CPU's SHA instructions against the portable rounds.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#define OPENSSL_SUPPRESS_DEPRECATED  // SHA_CTX: a count that can be set, as the record's can
#include <openssl/sha.h>
#endif

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/sha1_blocks.h"
#include "tests/support/bytes.h"
#include "ydr/sha1.h"

namespace ydr::crypto {
namespace {

std::string Hex(const unsigned char *bytes, std::size_t n) {
  return ydr::test::ToHex(ydr::test::Bytes(bytes, bytes + n));
}

const unsigned char *Data(const std::string &text) { return reinterpret_cast<const unsigned char *>(text.data()); }

// Ours, fed pieces of the given lengths in turn (one not zero), read `shift` bytes into a copy it leaves alone.
std::string Digest(const std::string &message, std::size_t shift = 0, const std::vector<std::size_t> &pieces = {1000}) {
  const std::string stored = std::string(shift, '\0') + message;
  const unsigned char *data = Data(stored) + shift;
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  for (std::size_t at = 0, k = 0; at < message.size(); ++k) {
    const std::size_t n = std::min(pieces[k % pieces.size()], message.size() - at);
    YDR_SHA1_Update(&info, data + at, static_cast<unsigned int>(n));
    at += n;
  }
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  EXPECT_EQ(stored.substr(shift), message);
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
// Pieces of every length and alignment, whole blocks read straight from unaligned input.
TEST(Sha1Test, AgreesWithLibcryptoWhereverTheMessageIsCutAndLeavesItAlone) {
  std::mt19937 rng(180);
  for (int trial = 0; trial < 300; ++trial) {
    std::string message(rng() % 1000, '\0');
    for (char &c : message) c = static_cast<char>(rng());
    unsigned char theirs[20];
    SHA1(Data(message), message.size(), theirs);
    ASSERT_EQ(Digest(message, trial % 4, {0, rng() % 130, rng() % 130, rng() % 130 + 1}), Hex(theirs, 20))
        << message.size() << " bytes from " << trial % 4;
  }
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

  // A copy forks the computation; after Final the chaining words are the digest in host order.
  YDR_SHA1_ALG_INFO fork = info;
  unsigned char a[20], b[20];
  YDR_SHA1_Update(&fork, Data("y"), 1);
  YDR_SHA1_Final(&info, a);
  YDR_SHA1_Final(&fork, b);
  EXPECT_EQ(Hex(a, 20), Digest(text));
  EXPECT_EQ(Hex(b, 20), Digest(text + "y"));
  unsigned char words[20];
  for (int i = 0; i < 20; ++i) words[i] = static_cast<unsigned char>(info.chain[i / 4] >> (24 - 8 * (i % 4)));
  EXPECT_EQ(Hex(words, 20), Hex(a, 20));

  // A count set one block below 2^32 bits carries into the high word, which the padding holds.
  YDR_SHA1_Init(&info);
  info.count[0] = 0xFFFFFE00u;
  YDR_SHA1_Update(&info, Data(text), 70);
  EXPECT_EQ(info.count[1], 1u);
  EXPECT_EQ(info.count[0], 560u - 512u);
#if YDR_CRYPTO_PEER
  SHA_CTX peer;
  SHA1_Init(&peer);
  peer.Nl = 0xFFFFFE00u;
  SHA1_Update(&peer, text.data(), 70);
  SHA1_Final(b, &peer);
  YDR_SHA1_Final(&info, a);
  EXPECT_EQ(Hex(a, 20), Hex(b, 20));
#endif
}

// The SHA instructions give the portable rounds' chaining values from any state, aligned or not.
TEST(Sha1BlocksTest, BothVariantsAgree) {
  const Sha1BlocksFunction shani = Sha1Variant_shani();
  if (shani == nullptr) GTEST_SKIP() << "this CPU has no SHA instructions (or they are disabled)";
  std::mt19937 rng(11);
  const test::Bytes data = test::RandomBytes(rng, 64 * 40 + 3);
  for (std::size_t blocks : {0u, 1u, 2u, 3u, 7u, 40u}) {
    std::array<unsigned int, 5> ours, theirs;
    for (unsigned int &word : ours) word = static_cast<unsigned int>(rng());
    theirs = ours;
    Sha1Blocks_generic(ours.data(), data.data() + blocks % 4, blocks);
    shani(theirs.data(), data.data() + blocks % 4, blocks);
    EXPECT_EQ(ours, theirs) << blocks;
  }
}

}  // namespace
}  // namespace ydr::crypto
