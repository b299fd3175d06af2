#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/registry_file.h"

namespace ydr::platform {

struct RegistryKey {
  RegistryValues values;
};

namespace {

constexpr long kMaxRegistryFileBytes = 1 << 20;  // a settings file, not a database

std::mutex g_mutex;
std::string *g_override = nullptr;  // leaked on purpose: may be read during process exit

std::string RegistryFilePath() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_override != nullptr) return *g_override;
  const char *env = std::getenv("YDR_REGISTRY");
  return env != nullptr ? env : "/etc/ydr/registry.ini";
}

bool ReadFile(const std::string &path, std::string *text) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  std::size_t got;
  bool ok = true;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text->append(buffer, got);
    if (text->size() > kMaxRegistryFileBytes) {
      ok = false;
      break;
    }
  }
  if (std::ferror(file)) ok = false;
  static_cast<void>(std::fclose(file));  // read only: nothing is lost
  return ok;
}

}  // namespace

void SetRegistryFileOverride(const char *path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  delete g_override;
  g_override = path != nullptr ? new std::string(path) : nullptr;
}

long RegOpenKeyExA(RegistryRoot root, const char *sub_key, std::uint32_t /*options*/, std::uint32_t /*access*/,
                   HKEY *result) {
  if (result == nullptr || sub_key == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  std::string key_path = root == RegistryRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  if (sub_key[0] != '\0') key_path += '\\' + std::string(sub_key);

  std::string text;
  if (!ReadFile(RegistryFilePath(), &text)) return kErrorFileNotFound;
  std::optional<RegistryValues> values = ParseRegistryKey(text, key_path);
  if (!values) return kErrorFileNotFound;
  *result = new RegistryKey{std::move(*values)};
  return kErrorSuccess;
}

long RegQueryValueExA(HKEY key, const char *name, std::uint32_t * /*reserved*/, std::uint32_t *type,
                      unsigned char *data, std::uint32_t *size) {
  if (key == nullptr) return kErrorInvalidHandle;
  const std::string_view wanted = name != nullptr ? name : "";
  for (const auto &[value_name, value] : key->values) {
    if (!EqualsIgnoringAsciiCase(value_name, wanted)) continue;
    if (type != nullptr) *type = kRegSz;
    const std::size_t needed = value.size() + 1;
    if (size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
    if (data == nullptr) {
      *size = static_cast<std::uint32_t>(needed);
      return kErrorSuccess;
    }
    if (*size < needed) {
      *size = static_cast<std::uint32_t>(needed);
      return kErrorMoreData;
    }
    std::memcpy(data, value.c_str(), needed);
    *size = static_cast<std::uint32_t>(needed);
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

long RegCloseKey(HKEY key) {
  if (key == nullptr) return kErrorInvalidHandle;
  delete key;
  return kErrorSuccess;
}

}  // namespace ydr::platform
