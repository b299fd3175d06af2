// A path's absolute form (the work behind YdrPathToAbsolute). The folding that POSIX needs
// is apart from the current directory, so that it can be tested and fuzzed alone.
#pragma once

#include <optional>

#include "portable/utf16.h"

namespace ydr::base {

inline constexpr std::size_t kPathUnits = 260;  // a path buffer: 259 units and a terminator

// The absolute form of path (length units), resolving a relative path against cwd, which
// must be absolute ('/'-separated, as getcwd gives it). Nothing when the path is empty.
std::optional<portable::WString> FoldAbsolutePath(const portable::WChar *path, std::size_t length,
                                                  const portable::WString &cwd);

// The absolute form of a path (length units, not empty) as the system makes it: on POSIX
// folded against the current directory by FoldAbsolutePath; on Windows the system's own
// (GetFullPathNameW), which keeps network paths ("\\\\server\\share\\") and writes '\\'.
// Nothing when it cannot be made.
std::optional<portable::WString> SystemAbsolutePath(const portable::WChar *path, std::size_t length);

// POSIX: the process's current directory as UTF-16, or nothing if it cannot be read.
std::optional<portable::WString> CurrentDirectory();

}  // namespace ydr::base
