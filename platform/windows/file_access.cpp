#include "platform/file_access.h"
#include "platform/find_data.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>

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

bool SeekStream(std::FILE *file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return false;
  }
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

bool SeekStreamToEnd(std::FILE *file) { return _fseeki64(file, 0, SEEK_END) == 0; }

std::int64_t StreamPosition(std::FILE *file) { return _ftelli64(file); }

bool TruncateStream(std::FILE *file, std::uint64_t size) {
  if (std::fflush(file) != 0) return false;
  const errno_t error = _chsize_s(_fileno(file), static_cast<long long>(size));
  if (error != 0) errno = error;
  return error == 0;
}

std::FILE *StreamFromDescriptor(int fd, const char *mode) {
  std::FILE *file = _fdopen(fd, mode);
  if (file == nullptr) {
    const int error = errno;
    _close(fd);
    errno = error;
  }
  return file;
}

bool CloseDescriptor(int fd) { return _close(fd) == 0; }

// The runtime counts in unsigned int: larger requests are done in part, as a short count.
long ReadDescriptor(int fd, void *buffer, std::size_t size) {
  return _read(fd, buffer, static_cast<unsigned>(size < 0x7FFFFFFF ? size : 0x7FFFFFFF));
}

long WriteDescriptor(int fd, const void *buffer, std::size_t size) {
  return _write(fd, buffer, static_cast<unsigned>(size < 0x7FFFFFFF ? size : 0x7FFFFFFF));
}

std::optional<bool> CloseSystemSearch(HANDLE search) { return ::FindClose(search) != 0; }

}  // namespace ydr::platform
