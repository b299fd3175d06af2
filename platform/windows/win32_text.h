// The Windows layer's two conversions at the system boundary: the library's 8-bit paths
// and texts are UTF-8 on every platform, and Windows takes them as UTF-16; and the system's
// error codes as the errno values the rest of the library reports.
#pragma once

#include <string>

namespace ydr::platform {

std::wstring SystemWide(const std::string &utf8);
std::string Utf8FromSystemWide(const wchar_t *text);
int ErrnoFromSystemError(unsigned long error);
// ErrnoFromSystemError of GetLastError(), and errno set to it.
int LastErrorAsErrno();

}  // namespace ydr::platform
