// Runs the command with one of its C library calls made to fail (the interposer in
// fault_shim.c, loaded with LD_PRELOAD), and reads back what was failed.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_process.h"

namespace ydr::test {

struct Fault {
  std::string families;          // "io", "write", "read,write", "alloc", ...
  long at = 0;                   // the counted call that fails, from 1; 0 only counts
  std::string error;             // EIO, ENOSPC, EINTR, SHORT or KILL
  bool standard_output = false;  // standard output counts like a file
  // A library (part of its file name) whose own allocations are neither counted nor failed:
  // libcrypto, which does not survive a failed allocation inside its own set-up (it goes on
  // with a lock it could not make), so failing them would test libcrypto, not the command.
  std::string spared{};
};

struct FaultRun {
  ProcessResult result;
  bool injected = false;        // the run reached the call
  long calls = -1;              // calls counted, when the process exited normally
  std::string call;             // the failed call ("fwrite", "renameat2", ...)
  bool write_side = false;      // it changes what is on disk
  std::string target;           // the file it was made on
  std::string Summary() const;  // for messages
};

// `shim` is the interposer's path; `log` a file outside what the test looks at.
FaultRun RunWithFault(const std::string &shim, const std::vector<std::string> &argv, const Fault &fault,
                      const std::string &cwd, const std::string &log);

// The calls a sweep tries out of `calls`: all of them, or `cap` spread evenly (cap > 1).
std::vector<long> SweepPoints(long calls, long cap);

}  // namespace ydr::test
