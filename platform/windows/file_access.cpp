#include "platform/file_access.h"
#include "platform/find_data.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/windows/win32_text.h"

namespace ydr::platform {

std::FILE *OpenStream(const std::string &path, const char *mode) {
  return _wfopen(SystemWide(path).c_str(), SystemWide(mode).c_str());
}

int OpenForReading(const std::string &path) {
  return _wopen(SystemWide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool RemoveFile(const std::string &path) { return _wremove(SystemWide(path).c_str()) == 0; }

bool StatusOf(const std::string &path, PathStatus *status) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemWide(path).c_str(), GetFileExInfoStandard, &data)) {
    LastErrorAsErrno();
    return false;
  }
  status->kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathStatus::Kind::kFolder
                 : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0  ? PathStatus::Kind::kOther
                                                                         : PathStatus::Kind::kRegular;
  status->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  const auto identity = IdentityOfPath(path);
  status->identity = identity ? *identity : FileIdentity{};
  return true;
}

bool AnythingAt(const std::string &path) {
  return GetFileAttributesW(SystemWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsSymbolicLink(const std::string &path) {
  const DWORD attributes = GetFileAttributesW(SystemWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FolderNames(const std::string &folder, std::vector<std::string> *names) {
  std::wstring pattern = SystemWide(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // an empty drive
    LastErrorAsErrno();
    return false;
  }
  do {
    if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) {
      names->push_back(Utf8FromSystemWide(data.cFileName));
    }
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return true;
}

bool IsTerminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

std::optional<bool> CloseSystemSearch(HANDLE search) { return ::FindClose(search) != 0; }

}  // namespace ydr::platform
