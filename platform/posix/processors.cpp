// Linux: the process's affinity mask, which a container's processor set or taskset narrows;
// elsewhere the processors online.
#include "platform/processors.h"

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
