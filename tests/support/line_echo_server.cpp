// A line server in a process of its own, for the socket tests: listens on 127.0.0.1 at a
// port the system picks, prints the port on a line of its own, serves one connection
// (answering each line with "echo: " and the line) and exits when the client closes.
#include <cstdio>
#include <string>

#include "tests/support/loopback.h"

int main() {
  using namespace ydr::test;
  int port = 0;
  const LoopbackSocket listener = ListenOnLoopback(&port);
  if (listener == kNoLoopbackSocket) return 1;
  std::printf("%d\n", port);
  std::fflush(stdout);
  const LoopbackSocket client = AcceptOne(listener);
  if (client == kNoLoopbackSocket) return 1;
  std::string line;
  char c;
  while (ReceiveBytes(client, &c, 1) == 1) {
    line += c;
    if (c != '\n') continue;
    const std::string reply = "echo: " + line;
    if (SendBytes(client, reply.data(), reply.size()) != static_cast<long>(reply.size())) return 1;
    line.clear();
  }
  CloseLoopback(client);
  CloseLoopback(listener);
  return 0;
}
