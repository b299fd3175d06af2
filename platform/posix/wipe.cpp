#include "platform/wipe.h"

#include <string.h>

namespace ydr::platform {

void Wipe(void *data, std::size_t size) { explicit_bzero(data, size); }

}  // namespace ydr::platform
