// The sockets this library has opened and not yet closed, on every system.
#pragma once

namespace ydr::platform {

// A caller's object keeps a socket's number after closing it. The system hands that number
// out again at once (a POSIX descriptor, or a Windows SOCKET handle) to whatever opens next
// in the process, so a close is carried out only for a number on this list.
// False when the number is already listed or memory runs out.
bool RememberOpenSocket(long long socket);
// True when the number was listed (and is no longer).
bool ForgetOpenSocket(long long socket);

}  // namespace ydr::platform
