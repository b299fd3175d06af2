// Files: opening, examining and reading them, their identity, and paths at the file system's boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "portable/utf16.h"

namespace ydr::platform {

// Which file a path or an open stream is, as the file system tells files apart (device and
// inode; volume and file index on Windows): links and different spellings of one path give the same identity. Used to
// keep an archive out of its own members and to walk a folder reached through several links once.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
  bool operator<(const FileIdentity &other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

// Of what a native path names, following links; none when it cannot be examined.
std::optional<FileIdentity> IdentityOfPath(const std::string &native_path);
std::optional<FileIdentity> IdentityOfStream(std::FILE *stream);

// Files named by UTF-8 paths, as the command opens, examines, lists and removes them: the C
// library's and POSIX's calls here, their wide-character counterparts on Windows (whose
// 8-bit calls would read the path in the ANSI code page). Failures leave errno set.
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
// Writes all `size` bytes, across short writes and interrupted calls; false on failure.
bool WriteAllToDescriptor(int fd, const void *buffer, std::size_t size);

// Whether a backslash in a path divides folders, as '/' does (Windows), or may be part of a
// file's name (POSIX).
#if defined(_WIN32)
inline constexpr bool kBackslashSeparates = true;
#else
inline constexpr bool kBackslashSeparates = false;
#endif

// Opening a path only when it names a regular file. The open never waits (a pipe without a
// writer would hold it for good), the type is checked on the open descriptor (so a pipe
// swapped in after any earlier check is caught too), and a file to be truncated is truncated
// only once it is known to be a regular one.
struct OpenProblem {
  int error = 0;             // errno, when the system refused
  bool not_regular = false;  // it opened, but is a folder, pipe, socket or device
  std::string Describe() const;
};

// How to open: for reading, writing or both; whether a missing file is made (readable and
// writable by everyone the process's file-creation mask allows) or must not exist yet; and
// whether the file is cut to nothing (after the check) or written at its end.
struct OpenFor {
  enum class Access { kRead, kWrite, kReadWrite };
  Access access = Access::kRead;
  bool create = false;
  bool exclusive = false;
  bool truncate = false;
  bool append = false;
};

// The stdio mode that matches `how`, in binary.
inline const char *StreamMode(const OpenFor &how) {
  using Access = OpenFor::Access;
  if (how.append) return how.access == Access::kReadWrite ? "a+b" : "ab";
  if (how.access == Access::kRead) return "rb";
  if (how.access == Access::kWrite) return "wb";
  return how.truncate ? "w+b" : "r+b";
}

// The descriptor, not inherited by child processes, or -1.
int OpenRegularFile(const std::string &path, const OpenFor &how, OpenProblem *problem);
// The same as a binary stream ("rb", "wb", "ab", "r+b", ... as `how` says), or null.
std::FILE *OpenRegularStream(const std::string &path, const OpenFor &how, OpenProblem *problem);

// Reading a stream's file at an offset without moving the stream (pread on POSIX), for
// readers that jump between members of an archive: no seek, no copy through the stream's
// buffer. A stream with no file under it (one in memory) is read through the stream.
// Reads up to `size` bytes at `offset`; returns how many (0 at the end), or -1 on failure.
long long ReadAt(std::FILE *file, std::uint64_t offset, void *buffer, std::size_t size);

// Paths at the file-system boundary. The library's callers write Windows paths: either
// separator, and perhaps a drive letter. Here both separators become '/', and a leading
// drive ("C:") is dropped, so "C:\docs\a.txt" names /docs/a.txt. On Windows a path stays as
// it is. Either way the 8-bit form is UTF-8.
bool IsSeparator(char32_t c);
// True when the path starts with a drive letter and a colon ("C:").
bool HasDrive(std::string_view path);
bool HasDrive(const portable::WChar *path, std::size_t length);
// True when the path names the same place whatever the current folder and drive are: on
// POSIX it starts with a separator once any drive is dropped; on Windows it has a drive and
// a separator after it ("C:\x", not the drive-relative "C:x"), or is a UNC path ("\\host").
bool IsAbsolutePath(std::string_view path);

std::string NativePath(std::string_view path);                // 8-bit path, bytes kept as they are
std::string NativePathFromWide(const portable::WChar *path);  // UTF-16 path, converted to UTF-8

}  // namespace ydr::platform
