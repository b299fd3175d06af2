// The sockets this library has opened and not yet closed.
#include "platform/open_sockets.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace ydr::platform {

namespace {

std::mutex g_open_lock;
std::unordered_set<long long> *g_open_sockets = nullptr;  // made on first use, never freed

}  // namespace

bool RememberOpenSocket(long long socket) {
  const std::lock_guard<std::mutex> lock(g_open_lock);
  if (g_open_sockets == nullptr) g_open_sockets = new (std::nothrow) std::unordered_set<long long>;
  if (g_open_sockets == nullptr) return false;
  try {
    return g_open_sockets->insert(socket).second;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

bool ForgetOpenSocket(long long socket) {
  const std::lock_guard<std::mutex> lock(g_open_lock);
  return g_open_sockets != nullptr && g_open_sockets->erase(socket) == 1;
}

}  // namespace ydr::platform
