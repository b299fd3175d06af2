// Module registrations: a small fixed table, so that nothing here needs destroying while
// the process exits (modules deregister from their own exit code, after this library's
// destructors may already have run). Registration is silent: the debug output belongs to
// the modules themselves.
#include "base/module_registry.h"

#include <mutex>

#include "portable/guarded_call.h"

namespace ydr::base {
namespace {

constexpr int kMaxModules = 64;

std::mutex g_mutex;
const YDR_MODULE_INFO *g_modules[kMaxModules];

}  // namespace

bool IsModuleRegistered(const YDR_MODULE_INFO *info) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const YDR_MODULE_INFO *entry : g_modules) {
    if (entry != nullptr && entry == info) return true;
  }
  return false;
}

}  // namespace ydr::base

using ydr::base::g_modules;
using ydr::base::g_mutex;

YDR_BL_API int YdrInitModule(YDR_MODULE_INFO *info) {
  return ydr::portable::GuardedCall(0, [&] {
    if (info == nullptr || info->name == nullptr || info->started != 1) return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    const YDR_MODULE_INFO **free_slot = nullptr;
    for (const YDR_MODULE_INFO *&entry : g_modules) {
      if (entry == info) return 1;
      if (entry == nullptr && free_slot == nullptr) free_slot = &entry;
    }
    if (free_slot == nullptr) return 0;
    *free_slot = info;
    return 1;
  });
}

YDR_BL_API void YdrExitModule(YDR_MODULE_INFO *info) {
  if (info == nullptr) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const YDR_MODULE_INFO *&entry : g_modules) {
    if (entry == info) {
      entry = nullptr;
    }
  }
}
