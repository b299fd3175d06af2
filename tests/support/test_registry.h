// The registry the library reads, set up for one test: a registry file on POSIX, the
// system's registry on Windows. What a test sets is gone when the object is.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace ydr::test {

class TestRegistry {
 public:
  explicit TestRegistry(const TempDir &dir);
  ~TestRegistry();
  TestRegistry(const TestRegistry &) = delete;
  TestRegistry &operator=(const TestRegistry &) = delete;

  // The one key, with the one string value given, or (no name) without any value.
  void Set(platform::RegistryRoot root, const std::string &sub_key, const char *name = nullptr,
           const std::string &value = "");
  // Neither key nor value.
  void Clear();

  // The library's own setting: the suite's Common Path.
  void SetCommonPath(const std::string &folder) {
    Set(platform::RegistryRoot::kLocalMachine, kCommonKey, "Common Path", folder);
  }
  static constexpr const char *kCommonKey = "Software\\YDR\\Shared\\Common";

  // For a program the test starts: its environment's YDR_REGISTRY entry on POSIX (the
  // system's registry is everyone's on Windows).
  std::string EnvironmentEntry() const { return "YDR_REGISTRY=" + file_; }

 private:
  struct Key {
    platform::RegistryRoot root;
    std::string sub_key;
    std::optional<std::pair<std::string, std::string>> value;  // name and value
  };
  void Write();

  std::string file_;
  std::optional<Key> key_;
};

}  // namespace ydr::test
