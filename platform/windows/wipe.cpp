#include <windows.h>

#include "platform/wipe.h"

namespace ydr::platform {

void Wipe(void *data, std::size_t size) { SecureZeroMemory(data, size); }

}  // namespace ydr::platform
