// Reading a stream's file at an offset without moving the stream (pread on POSIX), for
// readers that jump between members of an archive: no seek, no copy through the stream's
// buffer. A stream with no file under it (one in memory) is read through the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace ydr::platform {

// Reads up to `size` bytes at `offset`; returns how many (0 at the end), or -1 on failure.
long long ReadAt(std::FILE *file, std::uint64_t offset, void *buffer, std::size_t size);

}  // namespace ydr::platform
