// Test servers on 127.0.0.1, on BSD sockets or Windows Sockets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::test {

using LoopbackSocket = std::intptr_t;
inline constexpr LoopbackSocket kNoLoopbackSocket = -1;

// A listening socket on 127.0.0.1 at a port the system picks (written to *port).
LoopbackSocket ListenOnLoopback(int *port);
// A port nothing listens on: one that was just free.
int FreeLoopbackPort();
LoopbackSocket AcceptOne(LoopbackSocket listener);
long ReceiveBytes(LoopbackSocket socket, char *into, std::size_t size);
long SendBytes(LoopbackSocket socket, const char *bytes, std::size_t size);  // never raises SIGPIPE
void CloseLoopback(LoopbackSocket socket);
// Whether the number names an open socket of this process.
bool IsOpenSocket(LoopbackSocket socket);

}  // namespace ydr::test
