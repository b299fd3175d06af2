#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

namespace ydr::platform {
namespace {

constexpr const char *kKey = "HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common";

TEST(RegistryFileTest, ReadsTheValuesOfOneKey) {
  struct Case {
    const char *text;
    bool has_key;
    const char *value;  // of "Common Path"; null: absent
  };
  const Case cases[] = {
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/opt/ydr\n", true, "/opt/ydr"},
      {"[hkey_local_machine\\software\\ydr\\shared\\common]\r\n  common path = /opt/ydr \r\n", true, "/opt/ydr"},
      {"; comment\n# comment\n[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=\"/a b/\"\n", true,
       "/a b/"},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/a\nCommon Path=/b\n", true, "/b"},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n[Other]\nCommon Path=/a\n", true, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common\nCommon Path=/a\n", false, nullptr},
      {"Common Path=/a\n", false, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared]\nCommon Path=/a\n", false, nullptr},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n=x\nCommon Path\n", true, nullptr},
      {"", false, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const auto values = ParseRegistryKey(c.text, kKey);
    ASSERT_EQ(values.has_value(), c.has_key);
    if (!values) continue;
    const char *found = nullptr;
    for (const auto &[name, value] : *values) {
      if (EqualsIgnoringAsciiCase(name, "Common Path")) found = value.c_str();
    }
    if (c.value == nullptr) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_STREQ(found, c.value);
    }
  }
}

// The registry as the library reads it (a file here, the system's on Windows), set for one
// test and put back afterwards, whatever the test's assertions do.
class RegistryTest : public ::testing::Test {
 protected:
  void UseOneValue() { registry_.SetCommonPath("/opt/ydr"); }
  static long Open(const char *sub_key, HKEY *key) {
    return RegOpenKeyExA(RegistryRoot::kLocalMachine, sub_key, 0, kKeyRead, key);
  }

  test::TempDir dir_;
  test::TestRegistry registry_{dir_};
};

constexpr const char *kCommonKey = test::TestRegistry::kCommonKey;

TEST_F(RegistryTest, AValueComesWithItsTypeSizeAndTerminator) {
  UseOneValue();
  HKEY key = nullptr;
  ASSERT_EQ(Open(kCommonKey, &key), kErrorSuccess);
  unsigned char data[9];
  std::uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Common Path", nullptr, &type, data, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 9u);
  EXPECT_STREQ(reinterpret_cast<char *>(data), "/opt/ydr");
  EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
}

TEST_F(RegistryTest, ABufferTooSmallIsLeftAloneAndTheSizeNeededReported) {
  UseOneValue();
  HKEY key = nullptr;
  ASSERT_EQ(Open(kCommonKey, &key), kErrorSuccess);
  unsigned char small[8] = {};
  std::uint32_t type = 0, size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Common Path", nullptr, &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(small[0], 0);
  RegCloseKey(key);
}

TEST_F(RegistryTest, MissingValuesKeysAndFilesAreNotFound) {
  UseOneValue();
  HKEY key = nullptr;
  ASSERT_EQ(Open(kCommonKey, &key), kErrorSuccess);
  unsigned char data[16];
  std::uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, data, &size), kErrorFileNotFound);
  RegCloseKey(key);
  key = nullptr;
  EXPECT_EQ(Open("Software\\YDR\\NoSuchKey", &key), kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);
  registry_.Clear();
  EXPECT_EQ(Open(kCommonKey, &key), kErrorFileNotFound);
}

TEST_F(RegistryTest, TextIsHandedOutAsUtf8) {
  registry_.SetCommonPath("C:\\공용\\폴더");
  HKEY key = nullptr;
  ASSERT_EQ(Open(kCommonKey, &key), kErrorSuccess);
  unsigned char data[64];
  std::uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Common Path", nullptr, &type, data, &size), kErrorSuccess);
  EXPECT_STREQ(reinterpret_cast<char *>(data), "C:\\공용\\폴더");
  RegCloseKey(key);
}

#if !defined(_WIN32)  // the registry file of POSIX systems
TEST_F(RegistryTest, AMissingFileIsARegistryWithoutKeys) {
  UseOneValue();
  SetRegistryFileOverride((dir_ / "missing.ini").c_str());
  HKEY key = nullptr;
  EXPECT_EQ(Open(kCommonKey, &key), kErrorFileNotFound);
}

TEST_F(RegistryTest, TheEnvironmentNamesTheFileWhenNothingOverridesIt) {
  SetRegistryFileOverride(nullptr);
  const std::string file =
      dir_.WriteFile("from-env.ini", "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/opt/ydr\n");
  test::ScopedEnv env("YDR_REGISTRY", file.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(Open(kCommonKey, &key), kErrorSuccess);
  RegCloseKey(key);
  test::ScopedEnv elsewhere("YDR_REGISTRY", (dir_ / "none.ini").c_str());
  EXPECT_EQ(Open(kCommonKey, &key), kErrorFileNotFound);
}
#endif

}  // namespace
}  // namespace ydr::platform
