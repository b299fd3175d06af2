// Base64: OpenSSL's encoder as the peer, bad input, and the buffer's bounds.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <random>
#include <string>
#include <utility>

#include "base/ydr_base.h"
#include "tests/support/guarded_buffer.h"

namespace {

// Decodes into a guarded buffer exactly as long as the text, as callers allocate it.
int Decode(const std::string &text, std::string *out) {
  ydr::test::GuardedBuffer<unsigned char> buffer(text.size());
  unsigned char *pointer = buffer.data();
  const int n = YdrBase64ToAscii(text.c_str(), &pointer);
  EXPECT_EQ(pointer, buffer.data());
  if (n > 0) out->assign(reinterpret_cast<char *>(buffer.data()), static_cast<std::size_t>(n));
  return n;
}

#if YDR_CRYPTO_PEER
TEST(Base64Test, DecodesWhatOpenSslEncodes) {
  std::mt19937 rng(20261205);
  for (int length = 0; length < 300; ++length) {
    std::string data(static_cast<std::size_t>(length), '\0');
    for (char &c : data) c = static_cast<char>(rng());
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
    // One line, as EVP_EncodeBlock writes it; 64-character lines, as PEM and EVP_EncodeUpdate do.
    std::string line(4 * ((data.size() + 2) / 3) + 1, '\0'), lines(2 * line.size() + 80, '\0');
    line.resize(
        static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char *>(line.data()), bytes, length)));
    EVP_ENCODE_CTX *ctx = EVP_ENCODE_CTX_new();
    int n = 0, m = 0;
    EVP_EncodeInit(ctx);
    EVP_EncodeUpdate(ctx, reinterpret_cast<unsigned char *>(lines.data()), &n, bytes, length);
    EVP_EncodeFinal(ctx, reinterpret_cast<unsigned char *>(lines.data()) + n, &m);
    EVP_ENCODE_CTX_free(ctx);
    lines.resize(static_cast<std::size_t>(n) + static_cast<std::size_t>(m));
    for (const std::string &text : {line, lines}) {
      std::string decoded;
      ASSERT_EQ(Decode(text, &decoded), length);
      ASSERT_EQ(decoded, data);
    }
  }
}
#endif

TEST(Base64Test, AcceptsAndRefusesAsDocumented) {
  // Padding may be left off; blanks and line breaks may stand between characters.
  const std::pair<const char *, std::string> accepted[] = {
      {"", ""}, {"eWRy", "ydr"}, {"eWQ=", "yd"}, {"eQ==", "y"}, {"eWQ", "yd"}, {"eQ", "y"}, {" eW\r\nRy\t", "ydr"}};
  for (const auto &[text, expected] : accepted) {
    std::string decoded;
    EXPECT_EQ(Decode(text, &decoded), static_cast<int>(expected.size())) << text;
    EXPECT_EQ(decoded, expected) << text;
  }
  // Six bits (less than a byte), half or too much padding, data after it, the URL-safe
  // alphabet, other characters.
  for (const char *text : {"e", "eWRye", "eQ=", "eQ===", "=eQ=", "eQ==eWRy", "eW-y", "eW_y", "eWRy\x80", "eW.y"}) {
    std::string decoded;
    EXPECT_EQ(Decode(text, &decoded), -1) << text;
  }
  unsigned char byte;
  unsigned char *pointer = &byte;
  unsigned char *null_pointer = nullptr;
  EXPECT_EQ(YdrBase64ToAscii(nullptr, &pointer), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", nullptr), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", &null_pointer), -1);
}

// Decode's buffer is exactly as long as the text, with an inaccessible page right after it.
TEST(Base64Test, GarbageNeverWritesPastTheText) {
  std::mt19937 rng(7);
  const std::string alphabet = "ABCxyz019+/= \n-\x80";
  for (int trial = 0; trial < 2000; ++trial) {
    std::string text(rng() % 40, '\0'), decoded;
    for (char &c : text) c = alphabet[rng() % alphabet.size()];
    EXPECT_LE(Decode(text, &decoded), static_cast<int>(text.size()));
  }
}

}  // namespace
