#include "platform/stream_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ydr::platform {

long long OpenStreamSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool ParseIpv4Address(const char *text, std::uint32_t *address) {
  const in_addr_t ip = ::inet_addr(text);
  *address = ip;
  return ip != INADDR_NONE || std::strcmp(text, "255.255.255.255") == 0;
}

bool ConnectStream(long long socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  int connected;
  do {
    connected = ::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
  } while (connected < 0 && errno == EINTR);
  return connected == 0;
}

long SendSome(long long socket, const char *bytes, std::size_t size) {
  long n;
  do {
    n = ::send(static_cast<int>(socket), bytes, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

long ReceiveSome(long long socket, char *into, std::size_t size) {
  long n;
  do {
    n = ::recv(static_cast<int>(socket), into, size, 0);
  } while (n < 0 && errno == EINTR);
  return n;
}

void CloseStream(long long socket) {
  ::shutdown(static_cast<int>(socket), SHUT_RDWR);
  ::close(static_cast<int>(socket));
}

}  // namespace ydr::platform
