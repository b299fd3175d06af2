#include "platform/winsock.h"

#include <atomic>

namespace ydr::platform {
namespace {
std::atomic<int> g_starts{0};
}  // namespace

int WSAStartup(unsigned short /*version*/) {
  g_starts.fetch_add(1);
  return 0;
}

int WSACleanup() {
  int current = g_starts.load();
  while (current > 0) {
    if (g_starts.compare_exchange_weak(current, current - 1)) return 0;
  }
  return -1;
}

int WinsockStartCount() { return g_starts.load(); }

}  // namespace ydr::platform
