#include "tests/support/test_registry.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/windows/win32_text.h"
#endif

#include <fstream>

namespace ydr::test {

TestRegistry::TestRegistry(const TempDir &dir) : file_(dir / "registry.ini") { Write(); }

TestRegistry::~TestRegistry() {
  Clear();
  platform::SetRegistryFileOverride(nullptr);
}

void TestRegistry::Set(platform::RegistryRoot root, const std::string &sub_key, const char *name,
                       const std::string &value) {
  Clear();
  key_ = Key{root, sub_key, {}};
  if (name != nullptr) key_->value.emplace(name, value);
  Write();
}

#if defined(_WIN32)
namespace {
HKEY RootKey(platform::RegistryRoot root) {
  return root == platform::RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
}  // namespace

void TestRegistry::Clear() {
  if (key_) RegDeleteKeyW(RootKey(key_->root), platform::SystemWide(key_->sub_key).c_str());
  key_.reset();
}

void TestRegistry::Write() {
  HKEY handle = nullptr;
  if (!key_ || RegCreateKeyExW(RootKey(key_->root), platform::SystemWide(key_->sub_key).c_str(), 0, nullptr, 0,
                               KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (key_->value) {
    const std::wstring data = platform::SystemWide(key_->value->second);
    RegSetValueExW(handle, platform::SystemWide(key_->value->first).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
}
#else
void TestRegistry::Clear() {
  key_.reset();
  Write();
}

void TestRegistry::Write() {
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  if (key_) {
    const bool machine = key_->root == platform::RegistryRoot::kLocalMachine;
    out << '[' << (machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") << '\\' << key_->sub_key << "]\n";
    if (key_->value) out << key_->value->first << '=' << key_->value->second << '\n';
  }
  out.close();
  platform::SetRegistryFileOverride(file_.c_str());
}
#endif

}  // namespace ydr::test
