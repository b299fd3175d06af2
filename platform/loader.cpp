#include "platform/loader.h"

#include <mutex>

namespace ydr::platform {

namespace {

std::mutex g_mutex;
std::string *g_override = nullptr;  // leaked on purpose: read during process exit

}  // namespace

void SetModuleFileNameOverride(const char *path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  delete g_override;
  g_override = path != nullptr ? new std::string(path) : nullptr;
}

std::string GetModuleFileNameA() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_override != nullptr) return g_override->size() < kMaxPath ? *g_override : std::string();
  }
  return ExecutableFileName();
}

}  // namespace ydr::platform
