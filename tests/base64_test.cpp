// Base64: OpenSSL's encoder as the peer, bad input, and the buffer's bounds.
#include <gtest/gtest.h>
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <random>
#include <string>
#include <vector>

#include "base/base64.h"
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
    // One line, as EVP_EncodeBlock writes it.
    std::vector<unsigned char> encoded(4 * ((data.size() + 2) / 3) + 1);
    EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char *>(data.data()), length);
    std::string decoded;
    ASSERT_EQ(Decode(reinterpret_cast<char *>(encoded.data()), &decoded), length);
    ASSERT_EQ(decoded, data);
    // In 64-character lines, as PEM and EVP_EncodeUpdate write them.
    EVP_ENCODE_CTX *ctx = EVP_ENCODE_CTX_new();
    EVP_EncodeInit(ctx);
    std::vector<unsigned char> lines(encoded.size() * 2 + 80);
    int out1 = 0, out2 = 0;
    EVP_EncodeUpdate(ctx, lines.data(), &out1, reinterpret_cast<const unsigned char *>(data.data()), length);
    EVP_EncodeFinal(ctx, lines.data() + out1, &out2);
    EVP_ENCODE_CTX_free(ctx);
    decoded.clear();
    ASSERT_EQ(
        Decode(std::string(reinterpret_cast<char *>(lines.data()), static_cast<std::size_t>(out1 + out2)), &decoded),
        length);
    ASSERT_EQ(decoded, data);
  }
}
#endif

TEST(Base64Test, AcceptsAndRefusesAsDocumented) {
  struct Case {
    const char *text;
    int result;
    const char *decoded;
  };
  const Case cases[] = {
      {"", 0, ""},
      {"eWRy", 3, "ydr"},
      {"eWQ=", 2, "yd"},
      {"eQ==", 1, "y"},
      {"eWQ", 2, "yd"},  // padding left off
      {"eQ", 1, "y"},
      {" eW\r\nRy\t", 3, "ydr"},  // blanks and line breaks between characters
      {"e", -1, nullptr},         // six bits: less than a byte
      {"eWRye", -1, nullptr},
      {"eQ=", -1, nullptr},  // half the padding
      {"eQ===", -1, nullptr},
      {"=eQ=", -1, nullptr},
      {"eQ==eWRy", -1, nullptr},  // data after padding
      {"eW-y", -1, nullptr},      // URL-safe alphabet is not this one
      {"eW_y", -1, nullptr},
      {"eWRy\x80", -1, nullptr},
      {"eW.y", -1, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    std::string decoded;
    EXPECT_EQ(Decode(c.text, &decoded), c.result);
    if (c.result > 0) {
      EXPECT_EQ(decoded, c.decoded);
    }
  }
  unsigned char byte;
  unsigned char *pointer = &byte;
  unsigned char *null_pointer = nullptr;
  EXPECT_EQ(YdrBase64ToAscii(nullptr, &pointer), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", nullptr), -1);
  EXPECT_EQ(YdrBase64ToAscii("eQ==", &null_pointer), -1);
}

TEST(Base64Test, GarbageNeverWritesPastTheText) {
  std::mt19937 rng(7);
  const std::string alphabet = "ABCxyz019+/= \n-\x80";
  for (int trial = 0; trial < 2000; ++trial) {
    std::string text(rng() % 40, '\0');
    for (char &c : text) c = alphabet[rng() % alphabet.size()];
    std::vector<std::uint8_t> out(text.size() + 1, 0xEE);
    const long n = ydr::base::DecodeBase64(text.data(), text.size(), out.data());
    EXPECT_LE(n, static_cast<long>(text.size()));
    EXPECT_EQ(out[text.size()], 0xEE);
  }
}

}  // namespace
