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
int Decode(const std::string &text, std::string *out = nullptr) {
  ydr::test::GuardedBuffer<unsigned char> buffer(text.size());
  unsigned char *pointer = buffer.data();
  const int n = YdrBase64ToAscii(text.c_str(), &pointer);
  EXPECT_EQ(pointer, buffer.data());
  if (n > 0 && out != nullptr) out->assign(reinterpret_cast<char *>(buffer.data()), static_cast<std::size_t>(n));
  return n;
}

#if YDR_CRYPTO_PEER
TEST(Base64Test, DecodesWhatOpenSslEncodes) {
  std::mt19937 rng(20261205);
  for (int length = 0; length < 300; ++length) {
    std::string data(static_cast<std::size_t>(length), '\0');
    for (char &c : data) c = static_cast<char>(rng());
    // One line, as EVP_EncodeBlock writes it; 64-character lines, as PEM writes them.
    std::string line(4 * ((data.size() + 2) / 3) + 1, '\0');
    line.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char *>(line.data()), reinterpret_cast<const unsigned char *>(data.data()), length)));
    std::string lines = line + "\n";
    for (std::size_t i = 64; i < lines.size() - 1; i += 65) lines.insert(i, "\n");
    for (const std::string &text : {line, lines}) {
      std::string decoded;
      ASSERT_EQ(Decode(text, &decoded), length) << text;
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
    EXPECT_EQ(Decode(text), -1) << text;
  }
  unsigned char byte;
  unsigned char *pointer = &byte;
  unsigned char *null_pointer = nullptr;
  EXPECT_EQ(YdrBase64ToAscii(nullptr, &pointer), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", nullptr), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", &null_pointer), -1);
  // Garbage never writes past the text (the guard page right after the buffer).
  std::mt19937 rng(7);
  const std::string alphabet = "ABCxyz019+/= \n-\x80";
  for (int trial = 0; trial < 2000; ++trial) {
    std::string text(rng() % 40, '\0');
    for (char &c : text) c = alphabet[rng() % alphabet.size()];
    EXPECT_LE(Decode(text), static_cast<int>(text.size()));
  }
}

}  // namespace
