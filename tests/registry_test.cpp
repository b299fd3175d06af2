// The registry file's parser, and the registry functions the library reads its setting with.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

namespace ydr::platform {
namespace {

constexpr const char *kKey = "HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common";

TEST(RegistryFileTest, ReadsTheValuesOfOneKey) {
  using Values = std::optional<RegistryValues>;  // none: the text lacks the key
  const std::pair<const char *, Values> cases[] = {
      {"[hkey_local_machine\\software\\ydr\\shared\\common]\r\n  common path = /opt/ydr \r\n",
       RegistryValues{{"common path", "/opt/ydr"}}},
      {"; comment\n# comment\n[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=\"/a b/\"\n",
       RegistryValues{{"Common Path", "/a b/"}}},
      // The later value wins, though on a last line without a break.
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=/a\ncommon path=/b",
       RegistryValues{{"Common Path", "/b"}}},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n[Other]\nCommon Path=/a\n", RegistryValues{}},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common\nCommon Path=/a\n", std::nullopt},
      {"Common Path=/a\n", std::nullopt},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared]\nCommon Path=/a\n", std::nullopt},
      {"[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n=x\nCommon Path\n", RegistryValues{}},
  };
  for (const auto &[text, expected] : cases) EXPECT_EQ(ParseRegistryKey(text, kKey), expected) << text;
}

// The registry as the library reads it (a file here, the system's on Windows): the key opened
// and a value read into a buffer filled with 'x' before.
TEST(RegistryTest, AValueComesWithItsTypeSizeAndTerminatorOrIsNotFound) {
  struct Case {
    const char *common_path;  // null: no key; "-": no registry file
    const char *sub_key, *name;
    std::uint32_t capacity;
    long result;  // of opening the key, then of reading the value
    std::uint32_t size = 0;
    const char *data = "";  // the buffer up to its first terminator
  };
  const char *common = test::TestRegistry::kCommonKey;
  const Case cases[] = {
    {"/opt/ydr", common, "Common Path", 9, kErrorSuccess, 9, "/opt/ydr"},
    {"/opt/ydr", common, "Common Path", 8, kErrorMoreData, 9, "xxxxxxxx"},  // left alone; the size needed told
    {"C:\\공용\\폴더", common, "Common Path", 64, kErrorSuccess, 17, "C:\\공용\\폴더"},  // as UTF-8
    {"/opt/ydr", common, "Missing", 16, kErrorFileNotFound},
    {"/opt/ydr", "Software\\YDR\\NoSuchKey", "Common Path", 16, kErrorFileNotFound},
    {nullptr, common, "Common Path", 16, kErrorFileNotFound},
#if !defined(_WIN32)
    {"-", common, "Common Path", 16, kErrorFileNotFound},
#endif
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.common_path != nullptr ? c.common_path : "no key") + " " + c.sub_key + " " + c.name);
    test::TempDir dir;
    test::TestRegistry registry(dir);
    if (c.common_path != nullptr) registry.SetCommonPath(c.common_path);
    if (c.common_path != nullptr && *c.common_path == '-') SetRegistryFileOverride((dir / "missing.ini").c_str());
    HKEY key = nullptr;
    long result = RegOpenKeyExA(RegistryRoot::kLocalMachine, c.sub_key, 0, kKeyRead, &key);
    EXPECT_EQ(key != nullptr, result == kErrorSuccess);
    std::string buffer(c.capacity, 'x');
    std::uint32_t type = 0;
    std::uint32_t size = c.capacity;
    if (key != nullptr) {
      result = RegQueryValueExA(key, c.name, nullptr, &type, reinterpret_cast<unsigned char *>(buffer.data()), &size);
      EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    }
    EXPECT_EQ(result, c.result);
    if (result != kErrorFileNotFound) {
      EXPECT_EQ(std::make_tuple(type, size, std::string(buffer.c_str())), std::make_tuple(kRegSz, c.size, c.data));
    }
  }
}

}  // namespace
}  // namespace ydr::platform
