// Sockets: the text client's calls, and the Windows Sockets start-up and clean-up, on Windows.
#include "platform/sockets.h"

#include <winsock2.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "platform/open_sockets.h"

namespace ydr::platform {

long long OpenStreamSocket() {
  const SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return -1;
  if (!RememberOpenSocket(static_cast<long long>(socket))) {
    ::closesocket(socket);
    return -1;
  }
  return static_cast<long long>(socket);
}

bool ParseIpv4Address(const char *text, std::uint32_t *address) {
  const unsigned long ip = ::inet_addr(text);
  *address = static_cast<std::uint32_t>(ip);
  return ip != INADDR_NONE || std::strcmp(text, "255.255.255.255") == 0;
}

bool ConnectStream(long long socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  return ::connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0;
}

long SendSome(long long socket, const char *bytes, std::size_t size) {
  const int piece = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  return ::send(static_cast<SOCKET>(socket), bytes, piece, 0);
}

long ReceiveSome(long long socket, char *into, std::size_t size) {
  const int piece = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  return ::recv(static_cast<SOCKET>(socket), into, piece, 0);
}

void CloseStream(long long socket) {
  if (!ForgetOpenSocket(socket)) return;
  ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
  ::closesocket(static_cast<SOCKET>(socket));
}

// The system's Windows Sockets start-up and clean-up, with the library's own count kept for
// tests.
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
