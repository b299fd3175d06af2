// The registry the library reads, set up for one test: a registry file on POSIX, the
// system's registry on Windows. What a test sets is gone when the object is.
#pragma once

#include <optional>
#include <string>

#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace ydr::test {

class TestRegistry {
 public:
  static constexpr const char *kCommonKey = "Software\\YDR\\Shared\\Common";

  explicit TestRegistry(const TempDir &dir) : file_(dir / "registry.ini") { Set(std::nullopt, nullptr); }
  ~TestRegistry();
  TestRegistry(const TestRegistry &) = delete;
  TestRegistry &operator=(const TestRegistry &) = delete;

  // The library's key under `root` (none: no key), with `common_path` as its "Common Path" (null: no value).
  void Set(std::optional<platform::RegistryRoot> root, const char *common_path);
  void SetCommonPath(const std::string &folder) { Set(platform::RegistryRoot::kLocalMachine, folder.c_str()); }

  // For a program the test starts: its environment's YDR_REGISTRY entry on POSIX (the
  // system's registry is everyone's on Windows).
  std::string EnvironmentEntry() const { return "YDR_REGISTRY=" + file_; }

 private:
  std::string file_;
  std::optional<platform::RegistryRoot> root_;  // of the key set last, deleted by the next Set on Windows
};

}  // namespace ydr::test
