#include "imports/sibling_module.h"

#include <mutex>

#include "imports/module_search.h"

namespace ydr::imports {
namespace {

std::mutex g_mutex;  // serialises first loads, and unloading
SiblingModule *g_loaded = nullptr;

}  // namespace

void *SiblingModule::Function(std::size_t index) noexcept {
  if (index >= count_ || index >= kMaxFunctions) return nullptr;
  void *address = functions_[index].load(std::memory_order_acquire);
  if (address != nullptr) return address;
  try {
    return LoadFunction(index);
  } catch (...) {  // out of memory while searching: the call fails like any failed load
    return nullptr;
  }
}

void *SiblingModule::LoadFunction(std::size_t index) {
  std::lock_guard<std::mutex> lock(g_mutex);
  void *module = module_.load(std::memory_order_relaxed);
  if (module == nullptr) {
    module = LoadSiblingModule(name_);
    if (module == nullptr) return nullptr;
    module_.store(module, std::memory_order_release);
    next_loaded_ = g_loaded;
    g_loaded = this;
  }
  // A function missing from a loaded module fails the call without a message.
  void *address = platform::GetProcAddress(module, function_names_[index]);
  functions_[index].store(address, std::memory_order_release);
  return address;
}

void UnloadSiblingModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (SiblingModule *sibling = g_loaded; sibling != nullptr;) {
    SiblingModule *next = sibling->next_loaded_;
    sibling->module_.store(nullptr, std::memory_order_release);
    for (auto &function : sibling->functions_) function.store(nullptr, std::memory_order_release);
    sibling->next_loaded_ = nullptr;
    sibling = next;
  }
  g_loaded = nullptr;
  ReleaseLoadedModules();
}

}  // namespace ydr::imports
