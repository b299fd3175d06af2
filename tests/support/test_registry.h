// The registry the library reads, set up for one test: a registry file on POSIX, the
// system's registry on Windows. What a test sets is gone when the object is.
#pragma once

#include <map>
#include <string>

#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace ydr::test {

class TestRegistry {
 public:
  explicit TestRegistry(const TempDir &dir);
  ~TestRegistry();
  TestRegistry(const TestRegistry &) = delete;
  TestRegistry &operator=(const TestRegistry &) = delete;

  // The key, with the one value (a string) given.
  void Set(platform::RegistryRoot root, const std::string &sub_key, const std::string &name, const std::string &value);
  // The key, without any value.
  void SetKeyOnly(platform::RegistryRoot root, const std::string &sub_key);
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
  void Write();

  std::string file_;
  // root and key -> value name -> value; an empty name map is a key without values.
  std::map<std::pair<platform::RegistryRoot, std::string>, std::map<std::string, std::string>> keys_;
};

}  // namespace ydr::test
