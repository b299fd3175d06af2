// The strict base library: the base library's interface doing only what it documents and,
// wherever it leaves room, the other way from the shipped library (docs/porting.md lists how),
// so that a caller leaning on anything undocumented fails here.
#pragma once

#include <cstddef>

#include "portable/utf16.h"

namespace ydr::strict {

inline constexpr unsigned char kGuardByte = 0xA5;
inline constexpr std::size_t kPathUnits = 260;

// Stops the process: a caller broke the interface's contract.
[[noreturn]] void Refuse(const char *function, const char *what);

// The absolute form of `path` (not empty), empty when the system cannot form it (one file per system).
portable::WString SystemAbsolutePath(const portable::WString &path);

}  // namespace ydr::strict
