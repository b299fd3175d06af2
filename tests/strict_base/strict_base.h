// The strict base library: a second build of the base library's interface, for tests only,
// that does what the interface documents and nothing more. Wherever the documentation leaves
// room it takes the other way from the shipped base library, so that a caller leaning on
// anything undocumented fails here:
//   - results the documentation marks as ignored (text conversion, absolute paths, module
//     registration) are always 0;
//   - destinations must be at least the documented size ((n + 1) x 4 bytes of 8-bit text,
//     (3n + 4) / 2 characters of wide text, 260 units of path, one Base64 byte per character),
//     and the whole of it is written: what follows the result's terminator is filled with
//     guard bytes (0xA5), so a shorter buffer is overrun where a sanitizer or the heap sees it;
//   - a null destination, null text, or arguments other than the documented ones stop the
//     process with a message on standard error, as does an open mode other than "rb"/"wb";
//   - absolute paths are written with '\', as the system writes them;
//   - searches are the system's own: on Windows its handles, closed with its FindClose; on
//     POSIX a directory stream in the system's order with "." and ".." wherever they fall,
//     only real folders and regular files, and a process that ends with a search still open
//     exits with status 1 and says how many.
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
