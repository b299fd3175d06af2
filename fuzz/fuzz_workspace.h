// A private folder for one fuzzing process, removed at exit, with a registry file whose
// "Common Path" points at the folder of libYdrBL70.so, so that the library finds it. (On
// Windows the programs sit beside the DLLs, where the system's search finds them.)
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/registry.h"

namespace ydr::fuzz {

inline const std::filesystem::path &Workspace(const char *name) {
  namespace fs = std::filesystem;
  static const fs::path workspace = [name] {
    const fs::path dir =
        fs::temp_directory_path() / (std::string("ydr-fuzz-") + name + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const fs::path registry = dir / "registry.ini";
    std::ofstream(registry) << "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=" YDR_BASE_LIBRARY_DIR
                               "\n";
    ydr::platform::SetRegistryFileOverride(registry.string().c_str());
    // Removed through a copy of its own: at exit `workspace` itself is destroyed before a
    // function registered while it was being made runs.
    static const fs::path *const to_remove = new fs::path(dir);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(*to_remove, ignored);
    });
    return dir;
  }();
  return workspace;
}

}  // namespace ydr::fuzz
