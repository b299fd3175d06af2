// The Windows Sockets start-up and clean-up, on each system. On POSIX, BSD sockets need no
// start-up, so the two calls only keep their count (a clean-up without a start-up fails).
#pragma once

namespace ydr::platform {

// 0 on success, as on Windows.
int WSAStartup(unsigned short version);
// 0 on success; -1 when there was no start-up left to match.
int WSACleanup();
// Start-ups not yet matched by a clean-up (for tests).
int WinsockStartCount();

}  // namespace ydr::platform
