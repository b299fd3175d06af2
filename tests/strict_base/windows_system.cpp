// The strict base library's system pieces on Windows: the system's own absolute paths
// (GetFullPathNameW: drive letters, network paths, '\'), folders and searches. A search
// handle is the system's, for the system's FindClose.
#include <windows.h>

#include <string>

#include "base/ydr_base.h"
#include "tests/strict_base/strict_base.h"

namespace ydr::strict {

using portable::WString;

WString SystemAbsolutePath(const WString &path) {
  const std::wstring wide(path.begin(), path.end());
  wchar_t buffer[32768];
  const DWORD length = GetFullPathNameW(wide.c_str(), 32768, buffer, nullptr);
  if (length == 0 || length >= 32768) return WString();
  return WString(buffer, buffer + length);
}

}  // namespace ydr::strict

using namespace ydr;
using namespace ydr::strict;

YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data) {
  if (pattern == nullptr || data == nullptr) Refuse("YdrFindFirstFileW", "null pattern or record");
  return FindFirstFileW(reinterpret_cast<const wchar_t *>(pattern), reinterpret_cast<WIN32_FIND_DATAW *>(data));
}

YDR_BL_API int YdrFindNextFileW(void *handle, YDR_FIND_DATAW *data) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || data == nullptr) {
    Refuse("YdrFindNextFileW", "not a search, or a null record");
  }
  return FindNextFileW(handle, reinterpret_cast<WIN32_FIND_DATAW *>(data)) ? 1 : 0;
}
