// The connection on BSD sockets: a non-blocking socket, and poll() for every wait.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/connection.h"

namespace ydr::tool {
namespace {

// Waits until the socket is ready for `events` or the deadline passes: 1, 0 or -1 (errno).
int Wait(long long socket, short events, Connection::Deadline deadline) {
  for (;;) {
    pollfd watched{static_cast<int>(socket), events, 0};
    const int ready = poll(&watched, 1, MillisecondsLeft(deadline));
    if (ready >= 0) return ready;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

Connection::~Connection() {
  if (socket_ >= 0) static_cast<void>(close(static_cast<int>(socket_)));
}

Connection::Result Connection::Connect(const std::string &address, int port, Deadline deadline) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
    error_ = "not an IPv4 address";
    return Result::kFailed;
  }
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_ < 0) {
    error_ = std::strerror(errno);
    return Result::kFailed;
  }
  const int fd = static_cast<int>(socket_);
  if (connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0) return Result::kOk;
  // EINTR leaves the connection going on, as EINPROGRESS does.
  if (errno != EINPROGRESS && errno != EINTR) {
    error_ = std::strerror(errno);
    return Result::kFailed;
  }
  const int ready = Wait(socket_, POLLOUT, deadline);
  if (ready == 0) return Result::kTimedOut;
  int problem = 0;
  socklen_t length = sizeof problem;
  if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &problem, &length) != 0) problem = errno;
  if (problem == 0) return Result::kOk;
  error_ = std::strerror(problem);
  return Result::kFailed;
}

Connection::Result Connection::SendAll(const char *bytes, std::size_t size, Deadline deadline) {
  while (size > 0) {
    const ssize_t sent = send(static_cast<int>(socket_), bytes, size, MSG_NOSIGNAL);
    if (sent > 0) {
      bytes += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = std::strerror(errno);
      return Result::kFailed;
    }
    const int ready = Wait(socket_, POLLOUT, deadline);
    if (ready == 0) return Result::kTimedOut;
    if (ready < 0) {
      error_ = std::strerror(errno);
      return Result::kFailed;
    }
  }
  return Result::kOk;
}

Connection::Result Connection::Receive(char *into, std::size_t size, std::size_t *got, Deadline deadline) {
  *got = 0;
  for (;;) {
    const ssize_t n = recv(static_cast<int>(socket_), into, size, 0);
    if (n > 0) {
      *got = static_cast<std::size_t>(n);
      return Result::kOk;
    }
    if (n == 0) return Result::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = std::strerror(errno);
      return Result::kFailed;
    }
    const int ready = Wait(socket_, POLLIN, deadline);
    if (ready == 0) return Result::kTimedOut;
    if (ready < 0) {
      error_ = std::strerror(errno);
      return Result::kFailed;
    }
  }
}

}  // namespace ydr::tool
