// A line server in a process of its own, for the socket tests: listens on 127.0.0.1 at a
// port the system picks, prints the port on a line of its own, serves one connection
// (answering each line with "echo: " and the line) and exits when the client closes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main() {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    return 1;
  }
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  const int client = accept(listener, nullptr, nullptr);
  if (client < 0) return 1;
  std::string line;
  char c;
  while (recv(client, &c, 1, 0) == 1) {
    line += c;
    if (c != '\n') continue;
    const std::string reply = "echo: " + line;
    if (send(client, reply.data(), reply.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(reply.size())) return 1;
    line.clear();
  }
  close(client);
  close(listener);
  return 0;
}
