#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "tools/resolve_host.h"

namespace ydr::tool {

bool Resolve(const std::string &host, std::string *dotted, std::string *error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0) {
    *error = gai_strerror(status);
    return false;
  }
  char text[INET_ADDRSTRLEN];
  const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
  const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
  freeaddrinfo(found);
  if (!ok) {
    *error = "no IPv4 address";
    return false;
  }
  *dotted = text;
  return true;
}

}  // namespace ydr::tool
