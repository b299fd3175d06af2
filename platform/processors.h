// How many processors this process may run on.
#pragma once

namespace ydr::platform {

// The processors the process may be scheduled on (its affinity, where the system has one),
// at least 1.
unsigned UsableProcessors();

}  // namespace ydr::platform
