// The system's Windows Sockets start-up and clean-up, with the library's own count kept for
// tests.
#include "platform/winsock.h"

#include <winsock2.h>

#include <atomic>

namespace ydr::platform {
namespace {

std::atomic<int> g_starts{0};

}  // namespace

int WSAStartup(unsigned short version) {
  WSADATA data;
  const int result = ::WSAStartup(version, &data);
  if (result == 0) g_starts.fetch_add(1);
  return result;
}

// The system's clean-up, always: a start-up the host made itself is matched by it as well.
int WSACleanup() {
  int current = g_starts.load();
  while (current > 0 && !g_starts.compare_exchange_weak(current, current - 1)) {
  }
  return ::WSACleanup() == 0 ? 0 : -1;
}

int WinsockStartCount() { return g_starts.load(); }

}  // namespace ydr::platform
