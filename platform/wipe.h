// Clearing secrets (keys, passwords, digests of them) in a way the compiler cannot drop
// because the memory is not read again.
#pragma once

#include <cstddef>

namespace ydr::platform {

void Wipe(void *data, std::size_t size);

}  // namespace ydr::platform
