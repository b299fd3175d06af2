// Sends one line of text to a TCP server and prints the line it answers with. The client
// takes a dotted IPv4 address (it resolves no names) and text as UTF-16, which it sends as
// 8-bit text in the ANSI code page (YDR_ANSI_CODEPAGE; UTF-8 in the C locale).
//
//   socket_client ADDRESS PORT TEXT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ydr/socket.h"
#include "ydr/utf8.h"

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s ADDRESS PORT TEXT\n", argv[0]);
    return 2;
  }
  const ydr::Utf16String address = ydr::Utf16FromUtf8(argv[1]);
  const ydr::Utf16String line = ydr::Utf16FromUtf8(std::string(argv[3]) + "\n");
  CYdrSocket client;
  if (!client.QSConnect(address.c_str(), std::atoi(argv[2]))) {
    std::fprintf(stderr, "socket_client: cannot connect to %s port %s\n", argv[1], argv[2]);
    return 1;
  }
  // QSSend takes a byte count of the 8-bit form; for ASCII text that is the unit count.
  const int length = static_cast<int>(line.size());
  unsigned short reply[1024];
  const bool sent = client.QSSend(line.c_str(), length) == length;
  // One line back, line feed included; the buffer holds 1024 units, terminator included.
  const int got = sent ? client.QSRecv(reply, 1024, 1) : 0;
  client.QSClose();  // the destructor does not close the connection
  if (got <= 0) {
    std::fprintf(stderr, "socket_client: %s\n", sent ? "no answer" : "cannot send");
    return 1;
  }
  std::printf("%s", ydr::Utf8FromUtf16(reply).c_str());
  return 0;
}
