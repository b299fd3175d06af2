// Text: code-page conversion (characters a code page lacks, buffer limits) and Base64
// decoding (OpenSSL's encoder as the peer, bad input, the buffer's bounds).
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "base/ydr_base.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/temp_dir.h"

namespace {

using ydr::portable::WString;
using ydr::test::W;

constexpr unsigned int kUtf8 = 65001;

std::string ToAnsi(unsigned int code_page, const WString &text) {
  std::vector<char> out((text.size() + 1) * 4);
  const int written = YdrUnicodeToAnsi(code_page, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), 0);
  EXPECT_GT(written, 0);
  return std::string(out.data());
}

WString FromAnsi(unsigned int code_page, const std::string &text) {
  std::vector<unsigned short> out((3 * text.size() + 4) / 2);
  const int written = YdrAnsiToUnicode(code_page, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), 0);
  EXPECT_GT(written, 0);
  return WString(out.data());
}

TEST(TextConversionTest, CodePagesBothWays) {
  const std::tuple<unsigned int, const char *, std::string> cases[] = {
      {kUtf8, "plain ASCII", "plain ASCII"}, {kUtf8, "한글 \xF0\x9F\x98\x80 é", "한글 \xF0\x9F\x98\x80 é"},
      {949, "한글", "\xC7\xD1\xB1\xDB"},     {949, "abc 가", "abc \xB0\xA1"},
      {1252, "café €", "caf\xE9 \x80"},      {932, "日本", "\x93\xFA\x96\x7B"},
  };
  for (const auto &[code_page, utf8, bytes] : cases) {
    SCOPED_TRACE(utf8);
    EXPECT_EQ(ToAnsi(code_page, W(utf8)), bytes);
    EXPECT_EQ(FromAnsi(code_page, bytes), W(utf8));
  }
}

TEST(TextConversionTest, MissingCharactersAndMalformedInputBecomeQuestionMarks) {
  EXPECT_EQ(ToAnsi(1252, W("a한b")), "a?b");
  EXPECT_EQ(ToAnsi(949, W("x\xF0\x9F\x98\x80y")), "x?y");  // one '?' for a whole surrogate pair
  const WString lone = {'a', 0xD800, 'x', 0};
  EXPECT_EQ(ToAnsi(949, lone), "a?x");
  EXPECT_EQ(ToAnsi(kUtf8, lone), "a\xEF\xBF\xBDx");  // UTF-8 has the replacement character
  EXPECT_EQ(FromAnsi(kUtf8, "a\xC0\xAFx"), W("a??x"));
  EXPECT_EQ(FromAnsi(kUtf8, "\xE2\x82"), W("??"));
  EXPECT_EQ(FromAnsi(949, "a\xFF\xFFx\xC7"), W("a??x?"));  // bad pair, then a lead byte cut off
}

TEST(TextConversionTest, DefaultCodePageComesFromTheEnvironment) {
  {
    ydr::test::ScopedEnv page("YDR_ANSI_CODEPAGE", "CP949");
    EXPECT_EQ(ToAnsi(0, W("한")), "\xC7\xD1");
    EXPECT_EQ(FromAnsi(0, "\xB1\xDB"), W("글"));
  }
  ydr::test::ScopedEnv page("YDR_ANSI_CODEPAGE", nullptr);
#if defined(_WIN32)
  EXPECT_EQ(ToAnsi(0, W("한 é")), ToAnsi(GetACP(), W("한 é")));  // the system's own
#else
  ydr::test::ScopedEnv all("LC_ALL", "C");
  EXPECT_EQ(ToAnsi(0, W("한")), "한");  // the plain C locale reads as UTF-8
#endif
}

TEST(TextConversionTest, NeverWritesPastTheDestination) {
  struct Case {
    const char *utf8;
    unsigned int code_page;
    int size;  // destination size in bytes
    int result;
    std::string contents;  // what the destination holds afterwards
  };
  const Case cases[] = {
      {"abc", kUtf8, 4, 4, std::string("abc\0", 4)},  // exact fit
      {"abc", kUtf8, 3, 0, std::string("ab\0", 3)},   // one short: cut and terminated
      {"aé", kUtf8, 3, 0, std::string("a\0", 2)},     // é is not split
      {"aé", kUtf8, 4, 4, "a\xC3\xA9" + std::string(1, '\0')},
      {"한글", 949, 4, 0, std::string("\xC7\xD1\0", 3)},
      {"한글", 949, 1, 0, std::string("\0", 1)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.utf8) + " in " + std::to_string(c.size));
    ydr::test::GuardedBuffer<char> dst(static_cast<std::size_t>(c.size));
    EXPECT_EQ(YdrUnicodeToAnsi(c.code_page, 0, W(c.utf8).c_str(), -1, dst.data(), c.size, 0), c.result);
    EXPECT_EQ(std::string(dst.data(), c.contents.size()), c.contents);
  }
  // Size 0 asks for the size needed and writes nothing.
  EXPECT_EQ(YdrUnicodeToAnsi(949, 0, W("한글").c_str(), -1, nullptr, 0, 0), 5);
  EXPECT_EQ(YdrAnsiToUnicode(kUtf8, 0, "한글", -1, nullptr, 0, 0), 3);

  // Wide destinations: a surrogate pair is never split.
  for (int size = 1; size <= 4; ++size) {
    SCOPED_TRACE(size);
    ydr::test::GuardedBuffer<unsigned short> dst(static_cast<std::size_t>(size));
    const int result = YdrAnsiToUnicode(kUtf8, 0, "a\xF0\x9F\x98\x80", -1, dst.data(), size, 0);
    EXPECT_EQ(result, size == 4 ? 4 : 0);
    const WString expected = size >= 2 ? WString{'a', 0} : WString{0};
    if (size < 4) {
      EXPECT_EQ(WString(dst.data(), expected.size()), expected);
    }
  }
}

TEST(TextConversionTest, ExplicitLengthsConvertJustThoseUnits) {
  char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  const WString text = W("abcdef");
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, text.c_str(), 3, out, 8, 0), 3);
  EXPECT_EQ(std::string(out, 4), "abcx");  // no terminator was asked for
  unsigned short wide[4] = {9, 9, 9, 9};
  EXPECT_EQ(YdrAnsiToUnicode(kUtf8, 0, "a\0b", 3, wide, 4, 0), 3);
  EXPECT_EQ(WString(wide, 4), (WString{'a', 0, 'b', 9}));
}

TEST(TextConversionTest, BadArgumentsFail) {
  char out[8];
  unsigned short wide[8];
  const WString text = W("a");
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, nullptr, -1, out, 8, 0), 0);
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, text.c_str(), 0, out, 8, 0), 0);
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, text.c_str(), -2, out, 8, 0), 0);
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, text.c_str(), -1, out, -1, 0), 0);
  EXPECT_EQ(YdrUnicodeToAnsi(kUtf8, 0, text.c_str(), -1, nullptr, 8, 0), 0);
  EXPECT_EQ(YdrUnicodeToAnsi(12345, 0, text.c_str(), -1, out, 8, 0), 0);  // no such code page
  EXPECT_EQ(YdrAnsiToUnicode(kUtf8, 0, nullptr, -1, wide, 8, 0), 0);
  EXPECT_EQ(YdrAnsiToUnicode(12345, 0, "a", -1, wide, 8, 0), 0);
}

TEST(ThreadErrorTest, EachThreadHasItsOwnCode) {
  YdrSetError(2);
  int other = -1;
  std::thread([&] {
    other = YdrGetError();
    YdrSetError(7);
  }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(YdrGetError(), 2);
}

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
  // Six bits, half or too much padding, data after it, the URL-safe alphabet, other characters.
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
