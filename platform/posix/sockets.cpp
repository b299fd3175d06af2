// Sockets: the text client's calls, and the Windows Sockets start-up and clean-up, on POSIX.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/open_sockets.h"

namespace ydr::platform {

long long OpenStreamSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Never one of the standard descriptors (free when the host closed them): a socket there
  // would be taken for the stream it replaced.
  if (fd <= 2) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = moved;
    if (fd < 0) return -1;
  }
  if (!RememberOpenSocket(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

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
  if (!ForgetOpenSocket(socket)) return;  // only descriptors OpenStreamSocket made are listed
  ::shutdown(static_cast<int>(socket), SHUT_RDWR);
  ::close(static_cast<int>(socket));
}

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
