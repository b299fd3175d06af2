// Directory search on Windows: the system's own. The handle is the system's search handle,
// which the caller closes with the system's FindClose, and the entries come in the file
// system's order with everything the system reports, folder reparse points (symbolic links,
// junctions) included, marked 0x10 | 0x400. A walk that follows them must tell a folder it
// has walked already by its identity: a junction can lead back up the walk's own path.
#include <windows.h>

#include <string>

#include "base/ydr_base.h"
#include "platform/windows/win32_text.h"
#include "portable/guarded_call.h"
#include "portable/utf16.h"

static_assert(sizeof(YDR_FIND_DATAW) == sizeof(WIN32_FIND_DATAW), "the search record is the system's");

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
  using namespace ydr;
  return portable::GuardedCall(platform::InvalidHandleValue(), [&]() -> void * {
    if (portable::WideLength(pattern) == 0 || data == nullptr) return platform::InvalidHandleValue();
    const std::wstring system_pattern = platform::SystemWide(portable::Utf8FromWide(pattern));
    return FindFirstFileExW(system_pattern.c_str(), FindExInfoBasic, reinterpret_cast<WIN32_FIND_DATAW *>(data),
                            FindExSearchNameMatch, nullptr, 0);
  });
}

YDR_BL_API int YdrFindNextFileW(void *handle, YDR_FIND_DATAW *data) {
  using namespace ydr;
  if (handle == nullptr || handle == platform::InvalidHandleValue() || data == nullptr) return 0;
  return FindNextFileW(handle, reinterpret_cast<WIN32_FIND_DATAW *>(data)) ? 1 : 0;
}
