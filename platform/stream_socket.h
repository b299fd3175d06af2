// The few socket calls the text client makes, on BSD sockets or Windows Sockets. A socket
// is a number (a descriptor, or a SOCKET, which Windows keeps within 32 bits); -1 is none.
// Interrupted calls are retried; writing to a closed connection fails the call and never
// raises a signal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::platform {

long long OpenStreamSocket();
// Dotted IPv4 text as inet_addr reads it, in network order; false when it is not one.
bool ParseIpv4Address(const char *text, std::uint32_t *address);
bool ConnectStream(long long socket, std::uint32_t address, std::uint16_t port);
long SendSome(long long socket, const char *bytes, std::size_t size);  // < 0 on failure
long ReceiveSome(long long socket, char *into, std::size_t size);      // 0 at the end
// Shuts down both directions, then closes. On POSIX only a socket that OpenStreamSocket
// made and nothing has closed yet is closed: any other number is left alone.
void CloseStream(long long socket);

}  // namespace ydr::platform
