#include <windows.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/windows/win32_text.h"

namespace {

// Outside the library's namespace, where HKEY (in the system's macros) is the system's.
HKEY SystemRoot(bool local_machine) { return local_machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

}  // namespace

namespace ydr::platform {

struct RegistryKey {
  ::HKEY key;
};

void SetRegistryFileOverride(const char * /*path*/) {}

long RegOpenKeyExA(RegistryRoot root, const char *sub_key, std::uint32_t options, std::uint32_t access, HKEY *result) {
  if (result == nullptr || sub_key == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  ::HKEY key = nullptr;
  const long status = ::RegOpenKeyExW(SystemRoot(root == RegistryRoot::kLocalMachine), SystemWide(sub_key).c_str(),
                                      options, access, &key);
  if (status != ERROR_SUCCESS) return status;
  *result = new RegistryKey{key};
  return kErrorSuccess;
}

long RegQueryValueExA(HKEY key, const char *name, std::uint32_t * /*reserved*/, std::uint32_t *type,
                      unsigned char *data, std::uint32_t *size) {
  if (key == nullptr) return kErrorInvalidHandle;
  const std::wstring wide_name = SystemWide(name != nullptr ? name : "");
  DWORD value_type = 0;
  DWORD bytes = 0;
  long status = ::RegQueryValueExW(key->key, wide_name.c_str(), nullptr, &value_type, nullptr, &bytes);
  if (status != ERROR_SUCCESS) return status;
  if (value_type != REG_SZ && value_type != REG_EXPAND_SZ) return kErrorFileNotFound;
  std::wstring wide(bytes / sizeof(wchar_t) + 1, L'\0');
  status =
      ::RegQueryValueExW(key->key, wide_name.c_str(), nullptr, &value_type, reinterpret_cast<BYTE *>(&wide[0]), &bytes);
  if (status != ERROR_SUCCESS) return status;
  const std::string value = Utf8FromSystemWide(wide.c_str());  // stops at the first terminator
  if (type != nullptr) *type = kRegSz;
  const std::size_t needed = value.size() + 1;
  if (size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
  if (data == nullptr || *size < needed) {
    *size = static_cast<std::uint32_t>(needed);
    return data == nullptr ? kErrorSuccess : kErrorMoreData;
  }
  std::memcpy(data, value.c_str(), needed);
  *size = static_cast<std::uint32_t>(needed);
  return kErrorSuccess;
}

long RegCloseKey(HKEY key) {
  if (key == nullptr) return kErrorInvalidHandle;
  ::RegCloseKey(key->key);
  delete key;
  return kErrorSuccess;
}

}  // namespace ydr::platform
