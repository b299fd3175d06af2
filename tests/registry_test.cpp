#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "tests/support/temp_dir.h"

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

TEST(RegistryTest, QueriesFollowTheRegistryContract) {
  test::TempDir dir;
  const std::string file =
      dir.WriteFile("registry.ini", "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/opt/ydr\n");
  SetRegistryFileOverride(file.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(RegistryRoot::kLocalMachine, "Software\\YDR\\Shared\\Common", 0, kKeyRead, &key),
            kErrorSuccess);
  unsigned char data[9];
  std::uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Common Path", nullptr, &type, data, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 9u);
  EXPECT_STREQ(reinterpret_cast<char *>(data), "/opt/ydr");

  unsigned char small[8] = {};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Common Path", nullptr, &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(small[0], 0);  // untouched
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, data, &size), kErrorFileNotFound);
  EXPECT_EQ(RegCloseKey(key), kErrorSuccess);

  EXPECT_EQ(RegOpenKeyExA(RegistryRoot::kLocalMachine, "Software\\Other", 0, kKeyRead, &key), kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);
  SetRegistryFileOverride((dir / "missing.ini").c_str());
  EXPECT_EQ(RegOpenKeyExA(RegistryRoot::kLocalMachine, "Software\\YDR\\Shared\\Common", 0, kKeyRead, &key),
            kErrorFileNotFound);
  SetRegistryFileOverride(nullptr);

  test::ScopedEnv env("YDR_REGISTRY", file.c_str());
  ASSERT_EQ(RegOpenKeyExA(RegistryRoot::kLocalMachine, "Software\\YDR\\Shared\\Common", 0, kKeyRead, &key),
            kErrorSuccess);
  RegCloseKey(key);
}

}  // namespace
}  // namespace ydr::platform
