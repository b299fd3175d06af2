// The strict base library: the base library's interface doing only what it documents and,
// wherever it leaves room, the other way from the shipped library (docs/porting.md lists how),
// so that a caller leaning on anything undocumented fails here.
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
