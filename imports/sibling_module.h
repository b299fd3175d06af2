// A sibling module bound lazily, as an import table bound by the loader on first call:
// the module is loaded on the first call of any of its functions (once only, however many
// threads make that call together), and each function is found by name on its first use.
// When the module cannot be found, the message has been shown and Function() gives null;
// the next call tries again, as a failed search leaves nothing cached.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>

namespace ydr::imports {

class SiblingModule {
 public:
  static constexpr std::size_t kMaxFunctions = 24;

  constexpr SiblingModule(const char *name, const char *const *function_names, std::size_t count)
      : name_(name), function_names_(function_names), count_(count) {}
  SiblingModule(const SiblingModule &) = delete;
  SiblingModule &operator=(const SiblingModule &) = delete;

  // The address of function `index`, loading the module if need be; null when the module or
  // the function cannot be had.
  void *Function(std::size_t index) noexcept;

  const char *name() const { return name_; }
  bool loaded() const { return module_.load(std::memory_order_acquire) != nullptr; }

 private:
  friend void UnloadSiblingModules();
  void *LoadFunction(std::size_t index);  // the slow path, under the loading lock

  const char *name_;
  const char *const *function_names_;
  std::size_t count_;
  std::atomic<void *> module_{nullptr};
  std::atomic<void *> functions_[kMaxFunctions]{};
  SiblingModule *next_loaded_ = nullptr;  // the modules that have loaded, for unloading
};

// Forgets every sibling's module and functions, then releases the loaded-module list in load
// order. Runs when the library unloads (and between tests).
void UnloadSiblingModules();

// Converts a found address to the function type it has.
template <class Fn>
Fn FunctionAs(void *address) {
  static_assert(sizeof(Fn) == sizeof(void *), "function and data pointers differ in size");
  Fn fn;
  std::memcpy(&fn, &address, sizeof fn);
  return fn;
}

}  // namespace ydr::imports
