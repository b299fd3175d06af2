// Making the folders a path leads through. A path that ends in a separator names a folder,
// which is made too; otherwise the last component is a file and is left alone. A drive
// ("C:") and a server's share ("\\server\share") are where the path starts, not folders to
// make.
#include <windows.h>

#include "base/ydr_base.h"
#include "platform/files.h"
#include "portable/guarded_call.h"

namespace {

bool IsFolder(const wchar_t *path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the folders to make begin: after "\\server\share\", or at the start.
std::size_t FirstFolderStart(const std::wstring &path) {
  if (path.size() < 2 || !ydr::platform::IsSeparator(path[0]) || !ydr::platform::IsSeparator(path[1])) return 0;
  std::size_t separators = 0;
  for (std::size_t i = 2; i < path.size(); ++i) {
    if (ydr::platform::IsSeparator(path[i]) && ++separators == 2) return i + 1;
  }
  return path.size();
}

}  // namespace

YDR_BL_API int YdrPathCreate(const unsigned short *absolutePath) {
  return ydr::portable::GuardedCall(0, [&] {
    if (absolutePath == nullptr || absolutePath[0] == 0) return 0;
    const std::wstring path(reinterpret_cast<const wchar_t *>(absolutePath));
    for (std::size_t i = FirstFolderStart(path) + 1; i < path.size(); ++i) {
      if (!ydr::platform::IsSeparator(path[i]) || ydr::platform::IsSeparator(path[i - 1]) || path[i - 1] == L':') {
        continue;
      }
      const std::wstring prefix = path.substr(0, i);
      if (!CreateDirectoryW(prefix.c_str(), nullptr) && !IsFolder(prefix.c_str())) return 0;
    }
    return 1;
  });
}
