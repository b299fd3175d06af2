// The absolute form of a path, as the archive object asks the base library for it.
#pragma once

#include "zip/archive_format.h"

namespace ydr::zip {

using PathBuffer = unsigned short[kMaxNameUnits + 1];

// Fills `buffer` with the absolute form of `path` (null is taken as empty) and returns its
// length. The base library's result is not looked at: base libraries differ in what they
// return. The buffer is emptied first and always ends terminated, so a path the base library
// could not make absolute is an empty one, which no file is opened or searched by.
std::size_t AbsolutePath(const unsigned short *path, PathBuffer &buffer);

}  // namespace ydr::zip
