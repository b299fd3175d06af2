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

void TestRegistry::Set(platform::RegistryRoot root, const char *common_path) {
  Clear();
  root_ = root;
  if (common_path != nullptr) common_path_ = common_path;
  Write();
}

#if defined(_WIN32)
namespace {
HKEY RootKey(platform::RegistryRoot root) {
  return root == platform::RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
}  // namespace

void TestRegistry::Clear() {
  if (root_) RegDeleteKeyW(RootKey(*root_), platform::SystemWide(kCommonKey).c_str());
  root_.reset();
  common_path_.reset();
}

void TestRegistry::Write() {
  HKEY handle = nullptr;
  if (!root_ || RegCreateKeyExW(RootKey(*root_), platform::SystemWide(kCommonKey).c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (common_path_) {
    const std::wstring data = platform::SystemWide(*common_path_);
    RegSetValueExW(handle, L"Common Path", 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
}
#else
void TestRegistry::Clear() {
  root_.reset();
  common_path_.reset();
  Write();
}

void TestRegistry::Write() {
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  if (root_) {
    const bool machine = *root_ == platform::RegistryRoot::kLocalMachine;
    out << '[' << (machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") << '\\' << kCommonKey << "]\n";
    if (common_path_) out << "Common Path=" << *common_path_ << '\n';
  }
  out.close();
  platform::SetRegistryFileOverride(file_.c_str());
}
#endif

}  // namespace ydr::test
