#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/windows/win32_text.h"
#include "tools/resolve_host.h"

namespace ydr::tool {

bool Resolve(const std::string &host, std::string *dotted, std::string *error) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) {
    *error = "Windows Sockets did not start";
    return false;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW *found = nullptr;
  if (GetAddrInfoW(platform::SystemWide(host).c_str(), nullptr, &hints, &found) != 0) {
    *error = "no such host (Windows Sockets error " + std::to_string(WSAGetLastError()) + ")";
    return false;
  }
  wchar_t text[INET_ADDRSTRLEN];
  const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
  const bool ok = InetNtopW(AF_INET, &address->sin_addr, text, INET_ADDRSTRLEN) != nullptr;
  FreeAddrInfoW(found);
  if (!ok) {
    *error = "no IPv4 address";
    return false;
  }
  *dotted = platform::Utf8FromSystemWide(text);
  return true;
}

}  // namespace ydr::tool
