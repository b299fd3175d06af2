// The connection on Windows Sockets: a non-blocking socket, and select() for every wait.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <windows.h>

#include <string>

#include "platform/windows/win32_text.h"
#include "tools/connection.h"

namespace ydr::tool {
namespace {

std::string SocketError(int code) {
  wchar_t *text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string reason = length > 0 ? platform::Utf8FromSystemWide(text) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
  return reason;
}

// Waits until the socket can be written (or its connect has ended) or read: 1, 0 or -1.
int Wait(SOCKET socket, bool for_writing, Connection::Deadline deadline) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  const int left = MillisecondsLeft(deadline);
  timeval limit{left / 1000, (left % 1000) * 1000};
  const int n = select(0, for_writing ? nullptr : &ready, for_writing ? &ready : nullptr, &failed, &limit);
  return n == SOCKET_ERROR ? -1 : n > 0 ? 1 : 0;
}

bool Started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

Connection::~Connection() {
  if (socket_ >= 0) closesocket(static_cast<SOCKET>(socket_));
}

Connection::Result Connection::Connect(const std::string &address, int port, Deadline deadline) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<u_short>(port));
  if (!Started()) {
    error_ = "Windows Sockets did not start";
    return Result::kFailed;
  }
  if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
    error_ = "not an IPv4 address";
    return Result::kFailed;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error_ = SocketError(WSAGetLastError());
    return Result::kFailed;
  }
  socket_ = static_cast<long long>(s);
  u_long non_blocking = 1;
  if (ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    error_ = SocketError(WSAGetLastError());
    return Result::kFailed;
  }
  if (connect(s, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0) return Result::kOk;
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    error_ = SocketError(WSAGetLastError());
    return Result::kFailed;
  }
  const int ready = Wait(s, true, deadline);
  if (ready == 0) return Result::kTimedOut;
  int problem = 0;
  int length = sizeof problem;
  if (ready < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&problem), &length) != 0) {
    problem = WSAGetLastError();
  }
  if (problem == 0) return Result::kOk;
  error_ = SocketError(problem);
  return Result::kFailed;
}

Connection::Result Connection::SendAll(const char *bytes, std::size_t size, Deadline deadline) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  while (size > 0) {
    const int piece = size > 1u << 20 ? 1 << 20 : static_cast<int>(size);
    const int sent = send(s, bytes, piece, 0);
    if (sent > 0) {
      bytes += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      error_ = SocketError(WSAGetLastError());
      return Result::kFailed;
    }
    const int ready = Wait(s, true, deadline);
    if (ready == 0) return Result::kTimedOut;
    if (ready < 0) {
      error_ = SocketError(WSAGetLastError());
      return Result::kFailed;
    }
  }
  return Result::kOk;
}

Connection::Result Connection::Receive(char *into, std::size_t size, std::size_t *got, Deadline deadline) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  *got = 0;
  for (;;) {
    const int n = recv(s, into, size > 1u << 20 ? 1 << 20 : static_cast<int>(size), 0);
    if (n > 0) {
      *got = static_cast<std::size_t>(n);
      return Result::kOk;
    }
    if (n == 0) return Result::kClosed;
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      error_ = SocketError(WSAGetLastError());
      return Result::kFailed;
    }
    const int ready = Wait(s, false, deadline);
    if (ready == 0) return Result::kTimedOut;
    if (ready < 0) {
      error_ = SocketError(WSAGetLastError());
      return Result::kFailed;
    }
  }
}

}  // namespace ydr::tool
