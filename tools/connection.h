// The TCP connection of `ydr send`, on the system's sockets, with every wait bounded by one
// deadline. It runs on the command's one thread: a connect, a send or a receive that the
// deadline cuts short ends with kTimedOut, and nothing else ever touches the socket.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace ydr::tool {

class Connection {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  enum class Result {
    kOk,
    kTimedOut,  // the deadline passed first
    kClosed,    // the peer ended the connection (receiving)
    kFailed,    // the system refused; error() says why
  };

  Connection() = default;
  ~Connection();  // closes the connection
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  // Connects to a dotted IPv4 address.
  Result Connect(const std::string &address, int port, Deadline deadline);
  Result SendAll(const char *bytes, std::size_t size, Deadline deadline);
  // Whatever has arrived, at most `size` bytes (at least one), into `into`; the count goes
  // to *got.
  Result Receive(char *into, std::size_t size, std::size_t *got, Deadline deadline);
  // The system's reason for the last kFailed ("Connection refused").
  const std::string &error() const { return error_; }

 private:
  long long socket_ = -1;
  std::string error_;
};

// Milliseconds left until `deadline`, 0 once it has passed; never more than a day.
int MillisecondsLeft(Connection::Deadline deadline);

}  // namespace ydr::tool
