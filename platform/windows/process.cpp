// The process: the processors it may run on, and memory it must leave clean, on Windows.
#include "platform/process.h"

#include <windows.h>

#include <thread>

namespace ydr::platform {

// Windows: the processors in the process's affinity mask (its processor group's).
unsigned UsableProcessors() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

void Wipe(void *data, std::size_t size) { SecureZeroMemory(data, size); }

}  // namespace ydr::platform
