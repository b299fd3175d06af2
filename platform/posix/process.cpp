// The process: the processors it may run on, and memory it must leave clean, on POSIX.
#include "platform/process.h"

#include <string.h>

// Linux: the process's affinity mask, which a container's processor set or taskset narrows;
// elsewhere the processors online.
#if defined(__linux__)
#include <sched.h>
#endif

#include <thread>

namespace ydr::platform {

unsigned UsableProcessors() {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
#endif
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

}  // namespace ydr::platform

namespace ydr::platform {

void Wipe(void *data, std::size_t size) { explicit_bzero(data, size); }

}  // namespace ydr::platform
