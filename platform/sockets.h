// Sockets: the text client's calls, and the Windows Sockets start-up and clean-up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::platform {

// The few socket calls the text client makes, on BSD sockets or Windows Sockets. A socket
// is a number (a descriptor, or a SOCKET, which Windows keeps within 32 bits); -1 is none.
// Interrupted calls are retried; writing to a closed connection fails the call and never
// raises a signal.
long long OpenStreamSocket();
// Dotted IPv4 text as inet_addr reads it, in network order; false when it is not one.
bool ParseIpv4Address(const char *text, std::uint32_t *address);
bool ConnectStream(long long socket, std::uint32_t address, std::uint16_t port);
long SendSome(long long socket, const char *bytes, std::size_t size);  // < 0 on failure
long ReceiveSome(long long socket, char *into, std::size_t size);      // 0 at the end
// Shuts down both directions, then closes. Only a socket that OpenStreamSocket made and
// nothing has closed yet is closed: any other number is left alone.
void CloseStream(long long socket);

// The Windows Sockets start-up and clean-up, on each system. On POSIX, BSD sockets need no
// start-up, so the two calls only keep their count (a clean-up without a start-up fails).
// 0 on success, as on Windows.
int WSAStartup(unsigned short version);
// 0 on success; -1 when there was no start-up left to match.
int WSACleanup();
// Start-ups not yet matched by a clean-up (for tests).
int WinsockStartCount();

}  // namespace ydr::platform
