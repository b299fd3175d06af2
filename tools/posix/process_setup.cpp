#include <csignal>

#include "tools/interrupt_cleanup.h"
#include "tools/process_setup.h"

namespace ydr::tool {

std::vector<std::string> PrepareProcess(int argc, char **argv) {
  // A write past a file-size limit must fail like any other write (and be reported), not
  // end the process half-way through an output.
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  CleanUpOnInterrupt();
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace ydr::tool
