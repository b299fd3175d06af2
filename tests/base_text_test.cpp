// Text: code-page conversion, the thread's error code, Base64 decoding (OpenSSL's encoder as the peer).
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif
#if YDR_CRYPTO_PEER
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/ydr_base.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/temp_dir.h"

namespace {

using ydr::portable::WString;
using ydr::test::W;
using namespace std::string_literals;

constexpr unsigned int kUtf8 = 65001;
constexpr unsigned short kUntouched = 0xA5A5;  // a guarded buffer's fill

// A conversion into a guarded destination of `size` units (none for 0): its result, and the
// destination's first units after it.
template <class In, class Out>
struct Conversion {
  unsigned int code_page;
  In text;
  int length;  // in the text's units; -1: with the terminator
  int size;
  int result;
  Out units;
};

template <class In, class Out>
void CheckConversions(const std::vector<Conversion<In, Out>> &cases,
                      int (*convert)(unsigned int, unsigned int, const typename In::value_type *, int,
                                     typename Out::value_type *, int, int)) {
  for (const Conversion<In, Out> &c : cases) {
    SCOPED_TRACE(&c - cases.data());  // the row
    ydr::test::GuardedBuffer<typename Out::value_type> dst(static_cast<std::size_t>(std::max(c.size, 0)));
    EXPECT_EQ(convert(c.code_page, 0, c.text.c_str(), c.length, c.size != 0 ? dst.data() : nullptr, c.size, 0),
              c.result);
    EXPECT_EQ(Out(dst.data(), c.units.size()), c.units);
  }
  typename Out::value_type out[8];
  EXPECT_EQ(convert(kUtf8, 0, nullptr, -1, out, 8, 0), 0);
  EXPECT_EQ(convert(kUtf8, 0, cases[0].text.c_str(), -1, nullptr, 8, 0), 0);
}

// '?' for what the code page lacks; a cut never splits a character nor writes past the end.
TEST(TextConversionTest, ToCodePage) {
  ydr::test::ScopedEnv page("YDR_ANSI_CODEPAGE", "CP949");  // code page 0
  CheckConversions<WString, std::string>(
      {{kUtf8, W("한글 \xF0\x9F\x98\x80 é"), -1, 64, 15, "한글 \xF0\x9F\x98\x80 é\0"s},
       {949, W("abc 가"), -1, 64, 7, "abc \xB0\xA1\0"s},
       {0, W("한"), -1, 64, 3, "\xC7\xD1\0"s},
       {1252, W("a한b"), -1, 64, 4, "a?b\0"s},
       {949, W("x\xF0\x9F\x98\x80y"), -1, 64, 4, "x?y\0"s},                 // one '?' for a whole surrogate pair
       {949, WString{'a', 0xD800, 'x'}, -1, 64, 4, "a?x\0"s},               // a lone surrogate keeps what follows
       {kUtf8, WString{'a', 0xD800, 'x'}, -1, 64, 6, "a\xEF\xBF\xBDx\0"s},  // UTF-8 has the replacement character
       {kUtf8, W("abc"), -1, 4, 4, "abc\0"s},
       {kUtf8, W("abc"), -1, 3, 0, "ab\0"s},  // cut and terminated
       {kUtf8, W("aé"), -1, 3, 0, "a\0"s},    // é is not split
       {949, W("한글"), -1, 4, 0, "\xC7\xD1\0"s},
       {949, W("한글"), -1, 1, 0, "\0"s},
       {949, W("한글"), -1, 0, 5, ""},             // the size needed (into no destination)
       {kUtf8, W("abcdef"), 3, 8, 3, "abc\xA5"s},  // no terminator asked for
       {kUtf8, W("a"), 0, 8, 0, "\xA5"s},
       {kUtf8, W("a"), -2, 8, 0, "\xA5"s},
       {kUtf8, W("a"), -1, -1, 0, ""},
       {12345, W("a"), -1, 8, 0, "\xA5"s}},  // no such code page
      YdrUnicodeToAnsi);
}

// The same from the code page, in UTF-16 units: a surrogate pair is never split.
TEST(TextConversionTest, FromCodePage) {
  CheckConversions<std::string, WString>(
      {{kUtf8, "한글 \xF0\x9F\x98\x80 é", -1, 64, 8, W("한글 \xF0\x9F\x98\x80 é\0"s)},
       {949, "abc \xB0\xA1", -1, 64, 6, W("abc 가\0"s)},
       {kUtf8, "a\xC0\xAFx", -1, 64, 5, W("a??x\0"s)},
       {949, "a\xFF\xFFx\xC7", -1, 64, 6, W("a??x?\0"s)},  // a bad pair, then a lead byte cut off
       {kUtf8, "a\xF0\x9F\x98\x80", -1, 4, 4, W("a\xF0\x9F\x98\x80\0"s)},
       {kUtf8, "a\xF0\x9F\x98\x80", -1, 3, 0, W("a\0"s)},
       {kUtf8, "한글", -1, 0, 3, W("")},
       {kUtf8, "a\0b"s, 3, 4, 3, WString{'a', 0, 'b', kUntouched}},
       {12345, "a", -1, 8, 0, WString{kUntouched}}},
      YdrAnsiToUnicode);
}

// Code page 0 without YDR_ANSI_CODEPAGE is the system's own.
TEST(TextConversionTest, DefaultCodePageIsTheSystems) {
  ydr::test::ScopedEnv page("YDR_ANSI_CODEPAGE", nullptr);
#if defined(_WIN32)
  const unsigned int system = GetACP();
#else
  ydr::test::ScopedEnv all("LC_ALL", "C");
  const unsigned int system = kUtf8;  // the plain C locale reads as UTF-8
#endif
  char out[16];
  char expected[16];
  EXPECT_GT(YdrUnicodeToAnsi(system, 0, W("한 é").c_str(), -1, expected, 16, 0), 0);
  EXPECT_GT(YdrUnicodeToAnsi(0, 0, W("한 é").c_str(), -1, out, 16, 0), 0);
  EXPECT_STREQ(out, expected);
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

// Decodes into a guarded buffer exactly as long as the text, as callers allocate it: "result:bytes".
std::string Decode(const std::string &text) {
  ydr::test::GuardedBuffer<unsigned char> buffer(text.size());
  unsigned char *pointer = buffer.data();
  const int n = YdrBase64ToAscii(text.c_str(), &pointer);
  EXPECT_EQ(pointer, buffer.data());
  EXPECT_LE(n, static_cast<int>(text.size()));
  const auto decoded = static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(text.size())));
  return std::to_string(n) + ":" + std::string(reinterpret_cast<char *>(buffer.data()), decoded);
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
    for (const std::string &text : {line, lines}) ASSERT_EQ(Decode(text), std::to_string(length) + ":" + data) << text;
  }
}
#endif

TEST(Base64Test, AcceptsAndRefusesAsDocumented) {
  // Padding may be left off and blanks stand between characters; refused: six bits, half or too
  // much padding, data after it, the URL-safe alphabet, a byte above 0x7F.
  const std::pair<const char *, const char *> cases[] = {
      {"", "0:"},         {"eWQ=", "2:yd"},         {"eQ==", "1:y"},     {"eWQ", "2:yd"},
      {"eQ", "1:y"},      {" eW\r\nRy\t", "3:ydr"}, {"e", "-1:"},        {"eQ=", "-1:"},
      {"eQ===", "-1:"},   {"=eQ=", "-1:"},          {"eQ==eWRy", "-1:"}, {"eW-y", "-1:"},
      {"eWRy\x80", "-1:"}};
  for (const auto &[text, result] : cases) EXPECT_EQ(Decode(text), result) << text;
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
    Decode(text);
  }
}

}  // namespace
