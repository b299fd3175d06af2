// Files named by UTF-8 paths, as the command opens, examines, lists and removes them: the C
// library's and POSIX's calls here, their wide-character counterparts on Windows (whose
// 8-bit calls would read the path in the ANSI code page). Failures leave errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/file_identity.h"

namespace ydr::platform {

std::FILE *OpenStream(const std::string &path, const char *mode);
// A descriptor for reading any kind of file (a pipe too); -1 on failure.
int OpenForReading(const std::string &path);
bool RemoveFile(const std::string &path);

struct PathStatus {
  enum class Kind { kRegular, kFolder, kOther };
  Kind kind = Kind::kOther;
  std::uint64_t size = 0;
  FileIdentity identity;
};
// What the path names, links followed.
bool StatusOf(const std::string &path, PathStatus *status);
// Whether something, a dangling link too, is at the path.
bool AnythingAt(const std::string &path);
bool IsSymbolicLink(const std::string &path);
// The names in a folder, without "." and "..", in the system's order.
bool FolderNames(const std::string &folder, std::vector<std::string> *names);
bool IsTerminal(std::FILE *stream);

// Streams past 2 GiB, and the descriptor calls the library and command make; on failure
// errno says why.
bool SeekStream(std::FILE *file, std::uint64_t offset);  // from the start
bool SeekStreamToEnd(std::FILE *file);
std::int64_t StreamPosition(std::FILE *file);  // -1 on failure
// Flushes the stream and cuts its file to `size` bytes.
bool TruncateStream(std::FILE *file, std::uint64_t size);
// A binary stream over `fd` in `mode` ("rb", "wb", "w+b"), which then owns the descriptor;
// null when it cannot be made, and the descriptor is then closed.
std::FILE *StreamFromDescriptor(int fd, const char *mode);
bool CloseDescriptor(int fd);
// One read or write of at most `size` bytes: the count done, or -1.
long ReadDescriptor(int fd, void *buffer, std::size_t size);
long WriteDescriptor(int fd, const void *buffer, std::size_t size);

// Whether a backslash in a path divides folders, as '/' does (Windows), or may be part of a
// file's name (POSIX).
#if defined(_WIN32)
inline constexpr bool kBackslashSeparates = true;
#else
inline constexpr bool kBackslashSeparates = false;
#endif

}  // namespace ydr::platform
