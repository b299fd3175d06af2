// Opening a path only when it names a regular file. The open never waits (a pipe without a
// writer would hold it for good), the type is checked on the open descriptor (so a pipe
// swapped in after any earlier check is caught too), and a file to be truncated is truncated
// only once it is known to be a regular one.
#pragma once

#include <sys/types.h>

#include <string>

namespace ydr::platform {

struct OpenProblem {
  int error = 0;             // errno, when the system refused
  bool not_regular = false;  // it opened, but is a folder, pipe, socket or device
  std::string Describe() const;
};

// `flags` as for open(2) (O_NONBLOCK and O_CLOEXEC are added; O_TRUNC is honoured after the
// check). Returns the descriptor, in blocking mode, or -1.
int OpenRegularFile(const std::string &path, int flags, mode_t mode, OpenProblem *problem);

}  // namespace ydr::platform
