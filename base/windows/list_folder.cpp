// Reading a folder with the system's own search. Entries come with the attributes, sizes
// and times the system gives. A folder that is a reparse point (a symbolic link, junction or
// mount point) is left out: a walk into every folder could go round a loop of them forever,
// and the system cannot cheaply tell which of them lead back up the walk's path.
#include <windows.h>

#include "base/list_folder.h"
#include "platform/windows/win32_text.h"

namespace ydr::base {

bool ReadFolder(const std::string &folder, std::vector<FolderEntry> *entries) {
  std::wstring pattern = platform::SystemWide(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty root
  // Closed however the listing ends, a refused allocation's exception included.
  struct Closer {
    HANDLE handle;
    ~Closer() { FindClose(handle); }
  } closer{search};
  do {
    const bool is_dot = wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0;
    const DWORD folder_link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (!is_dot && (data.dwFileAttributes & folder_link) == folder_link) continue;
    FolderEntry entry;
    entry.name.assign(reinterpret_cast<const platform::WChar *>(data.cFileName));
    if (entry.name.size() >= MAX_PATH) continue;
    entry.attributes = data.dwFileAttributes;
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.write_time =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    entries->push_back(std::move(entry));
  } while (FindNextFileW(search, &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace ydr::base
