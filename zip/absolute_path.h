// The absolute form of a path, as the archive object asks the base library for it, and what
// it names.
#pragma once

#include "zip/archive_format.h"

namespace ydr::zip {

using PathBuffer = unsigned short[kMaxNameUnits + 1];

// Fills `buffer` with the absolute form of `path` (null is taken as empty) and returns its
// length. The base library's result is not looked at: base libraries differ in what they
// return. The buffer is emptied first and always ends terminated, so a path the base library
// could not make absolute is an empty one, which no file is opened or searched by.
std::size_t AbsolutePath(const unsigned short *path, PathBuffer &buffer);

// Whether an absolute path names a regular file (links followed). Nothing else is handed to
// the base library's open for reading: opening a pipe can wait for a writer forever, and a
// folder opens on some systems and not on others, so each base library would answer its own.
bool NamesRegularFile(const PathBuffer &absolute);

}  // namespace ydr::zip
