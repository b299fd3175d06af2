// The strict base library: the base library's interface, for tests only, doing what the
// interface documents and, wherever it leaves room, the other way from the shipped library,
// so that a caller leaning on anything undocumented fails here:
//   - results documented as ignored (text conversion, absolute paths, registration) are 0;
//   - destinations must have the documented size ((n + 1) x 4 bytes of 8-bit text, (3n + 4) / 2
//     wide characters, 260 path units, a Base64 byte per character), all of it written: guard
//     bytes (0xA5) follow the terminator, so a shorter buffer is overrun where it shows;
//   - null destinations or text, undocumented arguments and open modes other than "rb"/"wb"
//     stop the process with a message on standard error;
//   - absolute paths are written with '\', as the system writes them;
//   - searches are the system's own (on POSIX: directory streams in the system's order, "."
//     and ".." wherever they fall, only folders and regular files); a process that ends with
//     a search open exits with status 1.
#pragma once

#include <cstddef>
#include <string>

#include "portable/utf16.h"

namespace ydr::strict {

inline constexpr unsigned char kGuardByte = 0xA5;
inline constexpr std::size_t kPathUnits = 260;

// Stops the process: a caller broke the interface's contract.
[[noreturn]] void Refuse(const char *function, const char *what);

// The system's pieces (one file per system).
// The absolute form of `path` (not empty), empty when the system cannot form it.
portable::WString SystemAbsolutePath(const portable::WString &path);
// Makes one folder; true when it exists afterwards.
bool MakeOneFolder(const std::string &utf8_path);

}  // namespace ydr::strict
