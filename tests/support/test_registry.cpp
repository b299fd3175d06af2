#include "tests/support/test_registry.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/windows/win32_text.h"
#endif

#include <fstream>

namespace ydr::test {
namespace {

#if defined(_WIN32)
using platform::SystemWide;

HKEY RootKey(platform::RegistryRoot root) {
  return root == platform::RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
#endif

}  // namespace

TestRegistry::TestRegistry(const TempDir &dir) : file_(dir / "registry.ini") { Write(); }

TestRegistry::~TestRegistry() {
  Clear();
  platform::SetRegistryFileOverride(nullptr);
}

void TestRegistry::Set(platform::RegistryRoot root, const std::string &sub_key, const std::string &name,
                       const std::string &value) {
  Clear();
  keys_[{root, sub_key}][name] = value;
  Write();
}

void TestRegistry::SetKeyOnly(platform::RegistryRoot root, const std::string &sub_key) {
  Clear();
  keys_[{root, sub_key}];
  Write();
}

#if defined(_WIN32)
void TestRegistry::Clear() {
  for (const auto &[key, values] : keys_) RegDeleteKeyW(RootKey(key.first), SystemWide(key.second).c_str());
  keys_.clear();
}

void TestRegistry::Write() {
  for (const auto &[key, values] : keys_) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(RootKey(key.first), SystemWide(key.second).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
      continue;
    }
    for (const auto &[name, value] : values) {
      const std::wstring data = SystemWide(value);
      RegSetValueExW(handle, SystemWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(handle);
  }
}
#else
void TestRegistry::Clear() {
  keys_.clear();
  Write();
}

void TestRegistry::Write() {
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  for (const auto &[key, values] : keys_) {
    out << '[' << (key.first == platform::RegistryRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER")
        << '\\' << key.second << "]\n";
    for (const auto &[name, value] : values) out << name << '=' << value << '\n';
  }
  out.close();
  platform::SetRegistryFileOverride(file_.c_str());
}
#endif

}  // namespace ydr::test
