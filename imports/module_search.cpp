// The lookup of sibling modules.
//
// A module is looked for in three places, in order: wherever the system's search finds it by
// its bare name; in the suite's shared "Common" folder, which sits beside the executable's
// own folder (an executable in /opt/suite/bin looks in /opt/suite/Common); and in the folder
// that the registry value "Common Path" names. The folder where the first successful search
// found its module is cached for the life of the process and answers every later search,
// whichever module it is for, without looking again; a failed search caches nothing, so the
// next module's first use searches afresh. Paths are built with the runtime's joining rules
// ('\' between folder and file), which the file-system layer turns into '/'.
//
// Only absolute folders are searched. When the executable's path cannot be had (too long, or
// no way to ask), or the executable sits in a root folder, its "Common" folder would come out
// relative ("Common\", or "C:Common\") and name a folder under the current one, where anyone
// who can write there could plant a module that would run as the user: that step is skipped.
// A relative "Common Path" is skipped the same way.
#include "imports/module_search.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/loader.h"
#include "platform/registry.h"
#include "platform/sinks.h"
#include "portable/split_path.h"

namespace ydr::imports {
namespace {

constexpr const char *kCommonKey = "Software\\YDR\\Shared\\Common";
constexpr const char *kCommonPathValue = "Common Path";

// Process-wide state, guarded by g_mutex. Both objects are leaked on purpose: the list is
// emptied explicitly at unload, and nothing must be destroyed behind the unload sequence.
std::mutex g_mutex;
char g_common_folder[platform::kMaxPath];  // empty until the first search succeeds
std::vector<platform::HMODULE> *g_loaded_modules = nullptr;

bool IsSeparatorChar(char c) { return c == '\\' || c == '/'; }

void AppendLoadedModule(platform::HMODULE module) {
  if (module == nullptr) return;
  if (g_loaded_modules == nullptr) g_loaded_modules = new std::vector<platform::HMODULE>;
  g_loaded_modules->push_back(module);
}

bool FillCache(const std::string &folder) {
  if (folder.size() >= sizeof g_common_folder) return false;
  std::memcpy(g_common_folder, folder.c_str(), folder.size() + 1);
  return true;
}

std::string ReadCommonPath() {
  platform::HKEY key = nullptr;
  platform::RegOpenKeyExA(platform::RegistryRoot::kLocalMachine, kCommonKey, 0, platform::kKeyRead, &key);
  if (key == nullptr) return std::string();
  unsigned char value[platform::kMaxPath] = {};
  std::uint32_t type = platform::kRegSz;
  std::uint32_t size = sizeof value;
  // The result is not consulted: a missing or over-long value leaves the buffer zeroed.
  platform::RegQueryValueExA(key, kCommonPathValue, nullptr, &type, value, &size);
  platform::RegCloseKey(key);
  value[sizeof value - 1] = 0;
  return reinterpret_cast<const char *>(value);
}

// The Common folder for a module file name ("name.ext"): the cache if filled, otherwise the
// search beside the executable's folder and then in "Common Path". Empty when not found.
std::string FindCommonFolderLocked(const std::string &file_name) {
  if (g_common_folder[0] != '\0') return g_common_folder;

  // Beside the executable's folder: drop trailing separators, then the folder's own name.
  const std::string executable = platform::GetModuleFileNameA();
  if (!executable.empty()) {
    const portable::PathParts<char> exe = portable::SplitPath(executable);
    std::string dir = exe.dir;
    while (!dir.empty() && IsSeparatorChar(dir.back())) dir.pop_back();
    while (!dir.empty() && !IsSeparatorChar(dir.back())) dir.pop_back();
    if (platform::IsAbsolutePath(exe.drive + dir)) {
      dir += "Common";
      if (platform::PathFileExistsA(portable::MakePath(exe.drive, dir, file_name, "").c_str()) &&
          FillCache(portable::MakePath(exe.drive, dir, "", ""))) {
        return g_common_folder;
      }
    }
  }

  const std::string common_path = ReadCommonPath();
  if (!platform::IsAbsolutePath(common_path)) return g_common_folder;
  if (platform::PathFileExistsA(portable::MakePath("", common_path, file_name, "").c_str())) {
    FillCache(portable::MakePath("", common_path, "", ""));
  }
  return g_common_folder;
}

void ShowMissingModule(const char *name) {
  char message[256];
  static_cast<void>(std::snprintf(message, sizeof message, "Can't Find module %s", name));  // cut to fit, as on Windows
  platform::MessageBoxA(message);
}

}  // namespace

platform::HMODULE NotifyHookPreLoadLibrary(const char *name) {
  platform::HMODULE module = platform::LoadLibraryA(name);
  AppendLoadedModule(module);
  return module;
}

platform::HMODULE FailureHookLoadLibrary(const char *name) {
  const portable::PathParts<char> parts = portable::SplitPath(name);
  if (parts.drive.empty() && parts.dir.empty()) {
    const std::string folder = FindCommonFolderLocked(parts.fname + parts.ext);
    const std::string path = portable::MakePath("", folder, parts.fname, parts.ext);
    platform::HMODULE module = platform::LoadLibraryA(path.c_str());
    if (module != nullptr) {
      AppendLoadedModule(module);
      return module;
    }
  }
  ShowMissingModule(name);
  return nullptr;
}

platform::HMODULE LoadSiblingModule(const char *name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  platform::HMODULE module = NotifyHookPreLoadLibrary(name);
  if (module != nullptr) return module;
  // The loader's own second attempt; its handle was never the hooks', so it is not listed.
  module = platform::LoadLibraryA(name);
  if (module != nullptr) return module;
  return FailureHookLoadLibrary(name);
}

std::string CommonFolderCache() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_common_folder;
}

void ReleaseLoadedModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_loaded_modules == nullptr) return;
  for (platform::HMODULE &module : *g_loaded_modules) {
    platform::HMODULE released = module;
    module = nullptr;
    platform::FreeLibrary(released);
  }
  g_loaded_modules->clear();
}

std::size_t LoadedModuleCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_loaded_modules == nullptr ? 0 : g_loaded_modules->size();
}

void ResetModuleSearchForTesting() {
  ReleaseLoadedModules();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_common_folder[0] = '\0';
}

}  // namespace ydr::imports
