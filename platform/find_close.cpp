#include "platform/find_data.h"

namespace ydr::platform {

bool FindClose(HANDLE handle) {
  if (handle == nullptr || handle == InvalidHandleValue()) return false;
  auto *header = static_cast<FindHandleHeader *>(handle);
  if (header->magic != FindHandleHeader::kMagic || header->release == nullptr) return false;
  header->magic = 0;  // a second close of the same handle is refused while the memory lasts
  header->release(header);
  return true;
}

}  // namespace ydr::platform
