// The process: the processors it may run on, and memory it must leave clean.
#pragma once

#include <cstddef>

namespace ydr::platform {

// The processors the process may be scheduled on (its affinity, where the system has one),
// at least 1.
unsigned UsableProcessors();

// Clearing secrets (keys, passwords, digests of them) in a way the compiler cannot drop
// because the memory is not read again.
void Wipe(void *data, std::size_t size);

}  // namespace ydr::platform
