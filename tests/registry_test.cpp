// The registry file's parser, and the registry functions the library reads its setting with.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

namespace ydr::platform {
namespace {

constexpr const char *kKey = "HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common";

TEST(RegistryFileTest, ReadsTheValuesOfOneKey) {
  // The text, whether it has the key, and its "Common Path" (null: absent).
  const std::tuple<const char *, bool, const char *> cases[] = {
      {"[hkey_local_machine\\software\\ydr\\shared\\common]\r\n  common path = /opt/ydr \r\n", true, "/opt/ydr"},
      {"; comment\n# comment\n[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=\"/a b/\"\n", true,
       "/a b/"},
      // The later value wins, though on a last line without a break.
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/a\nCommon Path=/b", true, "/b"},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n[Other]\nCommon Path=/a\n", true, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common\nCommon Path=/a\n", false, nullptr},
      {"Common Path=/a\n", false, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared]\nCommon Path=/a\n", false, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n=x\nCommon Path\n", true, nullptr},
  };
  for (const auto &[text, has_key, expected] : cases) {
    SCOPED_TRACE(text);
    const auto values = ParseRegistryKey(text, kKey);
    EXPECT_EQ(values.has_value(), has_key);
    if (!values) continue;
    std::optional<std::string> found;
    for (const auto &[name, value] : *values) {
      if (EqualsIgnoringAsciiCase(name, "Common Path")) found = value;
    }
    EXPECT_EQ(found, expected != nullptr ? std::optional<std::string>(expected) : std::nullopt);
  }
}

// The registry as the library reads it (a file here, the system's on Windows).
class RegistryTest : public ::testing::Test {
 protected:
  static constexpr const char *kCommonKey = test::TestRegistry::kCommonKey;
  struct Answer {
    long result;
    std::uint32_t type, size;
    std::string data;  // the buffer (filled with 'x' before), up to its first terminator
  };
  static long Open(const char *sub_key, HKEY *key) {
    return RegOpenKeyExA(RegistryRoot::kLocalMachine, sub_key, 0, kKeyRead, key);
  }
  // The value `name` of the Common key, queried into a buffer of `capacity` bytes.
  static Answer Query(const char *name, std::uint32_t capacity) {
    HKEY key = nullptr;
    Answer answer{Open(kCommonKey, &key), 0, capacity, {}};
    if (answer.result != kErrorSuccess) return answer;
    std::string buffer(capacity, 'x');
    answer.result = RegQueryValueExA(key, name, nullptr, &answer.type, reinterpret_cast<unsigned char *>(buffer.data()),
                                     &answer.size);
    answer.data = buffer.c_str();
    EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    return answer;
  }

  test::TempDir dir_;
  test::TestRegistry registry_{dir_};
};

TEST_F(RegistryTest, AValueComesWithItsTypeSizeAndTerminator) {
  registry_.SetCommonPath("/opt/ydr");
  Answer answer = Query("Common Path", 9);
  EXPECT_EQ(answer.result, kErrorSuccess);
  EXPECT_EQ(answer.type, kRegSz);
  EXPECT_EQ(answer.size, 9u);
  EXPECT_EQ(answer.data, "/opt/ydr");
  // A buffer too small is left alone and the size needed reported.
  answer = Query("Common Path", 8);
  EXPECT_EQ(answer.result, kErrorMoreData);
  EXPECT_EQ(answer.size, 9u);
  EXPECT_EQ(answer.data, "xxxxxxxx");
  // Text is handed out as UTF-8.
  registry_.SetCommonPath("C:\\공용\\폴더");
  EXPECT_EQ(Query("Common Path", 64).data, "C:\\공용\\폴더");
}

TEST_F(RegistryTest, MissingValuesKeysAndFilesAreNotFound) {
  registry_.SetCommonPath("/opt/ydr");
  EXPECT_EQ(Query("Missing", 16).result, kErrorFileNotFound);
  HKEY key = nullptr;
  EXPECT_EQ(Open("Software\\YDR\\NoSuchKey", &key), kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);
#if !defined(_WIN32)  // the registry file of POSIX systems: a missing one has no keys
  SetRegistryFileOverride((dir_ / "missing.ini").c_str());
  EXPECT_EQ(Open(kCommonKey, &key), kErrorFileNotFound);
#endif
  registry_.Clear();
  EXPECT_EQ(Open(kCommonKey, &key), kErrorFileNotFound);
}

}  // namespace
}  // namespace ydr::platform
