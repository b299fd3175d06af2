// Opening a path only when it names a regular file. The open never waits (a pipe without a
// writer would hold it for good), the type is checked on the open descriptor (so a pipe
// swapped in after any earlier check is caught too), and a file to be truncated is truncated
// only once it is known to be a regular one.
#pragma once

#include <cstdio>
#include <string>

namespace ydr::platform {

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

}  // namespace ydr::platform
