#include "tests/support/loopback.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ydr::test {
namespace {

#if defined(_WIN32)
using Native = SOCKET;
using Length = int;
constexpr int kNoSignal = 0;
void CloseNative(Native s) { closesocket(s); }
// Started again for every listener: a socket object's destructor ends one use of them.
void Start() {
  WSADATA data;
  static_cast<void>(WSAStartup(MAKEWORD(2, 2), &data));
}
#else
using Native = int;
using Length = socklen_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
void CloseNative(Native s) { close(s); }
void Start() {}
#endif

Native AsNative(LoopbackSocket s) { return static_cast<Native>(s); }

}  // namespace

LoopbackSocket ListenOnLoopback(int *port) {
  Start();
  const Native listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Length length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    CloseNative(listener);
    return kNoLoopbackSocket;
  }
  *port = ntohs(address.sin_port);
  return static_cast<LoopbackSocket>(listener);
}

int FreeLoopbackPort() {
  int port = 0;
  CloseLoopback(ListenOnLoopback(&port));
  return port;
}

LoopbackSocket AcceptOne(LoopbackSocket listener) {
  const Native client = accept(AsNative(listener), nullptr, nullptr);
  return client == static_cast<Native>(-1) ? kNoLoopbackSocket : static_cast<LoopbackSocket>(client);
}

long ReceiveBytes(LoopbackSocket s, char *into, std::size_t size) {
  return recv(AsNative(s), into, static_cast<int>(size), 0);
}

long SendBytes(LoopbackSocket s, const char *bytes, std::size_t size) {
  return send(AsNative(s), bytes, static_cast<int>(size), kNoSignal);
}

bool IsOpenSocket(LoopbackSocket s) {
  int type = 0;
  Length length = sizeof type;
  return getsockopt(AsNative(s), SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &length) == 0;
}

void CloseLoopback(LoopbackSocket s) {
  if (s != kNoLoopbackSocket) CloseNative(AsNative(s));
}

}  // namespace ydr::test
