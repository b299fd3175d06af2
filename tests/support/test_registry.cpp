#include "tests/support/test_registry.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/windows/win32_text.h"
#endif

#include <fstream>

namespace ydr::test {

TestRegistry::~TestRegistry() {
  Set(std::nullopt, nullptr);
  platform::SetRegistryFileOverride(nullptr);
}

#if defined(_WIN32)
void TestRegistry::Set(std::optional<platform::RegistryRoot> root, const char *common_path) {
  const auto root_key = [](platform::RegistryRoot r) {
    return r == platform::RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  };
  const std::wstring key = platform::SystemWide(kCommonKey);
  if (root_) RegDeleteKeyW(root_key(*root_), key.c_str());
  root_ = root;
  HKEY handle = nullptr;
  if (!root || RegCreateKeyExW(root_key(*root), key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
                   ERROR_SUCCESS) {
    return;
  }
  if (common_path != nullptr) {
    const std::wstring data = platform::SystemWide(common_path);
    RegSetValueExW(handle, L"Common Path", 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
}
#else
void TestRegistry::Set(std::optional<platform::RegistryRoot> root, const char *common_path) {
  root_ = root;
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  if (root) {
    const bool machine = *root == platform::RegistryRoot::kLocalMachine;
    out << '[' << (machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") << '\\' << kCommonKey << "]\n";
    if (common_path != nullptr) out << "Common Path=" << common_path << '\n';
  }
  out.close();
  platform::SetRegistryFileOverride(file_.c_str());
}
#endif

}  // namespace ydr::test
