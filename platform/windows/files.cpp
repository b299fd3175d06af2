// Files: opening, examining and reading them, their identity, and paths at the file system's boundary, on Windows.
#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/find_data.h"
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

// A file's identity on Windows: its volume's serial number and the file's index there.
namespace {

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> IdentityOfPath(const std::string &native_path) {
  // Folders open too (backup semantics), and nothing is locked against others meanwhile.
  const HANDLE handle =
      CreateFileW(SystemWide(native_path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const auto identity = IdentityOfHandle(handle);
  CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> IdentityOfStream(std::FILE *stream) {
  if (stream == nullptr) return std::nullopt;
  const int fd = _fileno(stream);
  return fd < 0 ? std::nullopt : IdentityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

// Opening regular files only: a folder, or a device name such as CON or NUL (which opens
// anywhere on Windows), is refused.
std::string OpenProblem::Describe() const {
  if (not_regular) return "not a regular file";
  return std::strerror(error);
}

namespace {

int SystemFlags(const OpenFor &how) {
  using Access = OpenFor::Access;
  const int access = how.access == Access::kRead ? _O_RDONLY : how.access == Access::kWrite ? _O_WRONLY : _O_RDWR;
  return access | (how.create ? _O_CREAT : 0) | (how.exclusive ? _O_EXCL : 0) | (how.append ? _O_APPEND : 0) |
         (how.truncate ? _O_TRUNC : 0);
}

}  // namespace

int OpenRegularFile(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const int flags = SystemFlags(how);
  const std::wstring wide = SystemWide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problem->not_regular = true;
    problem->error = EISDIR;
    return -1;
  }
  const int fd = _wopen(wide.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    problem->error = errno;
    return -1;
  }
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    _close(fd);
    problem->not_regular = true;
    problem->error = 0;
    return -1;
  }
  return fd;
}

// Positioned reads on the file's own handle: one ReadFile with its offset in an OVERLAPPED
// record, which works on handles opened for ordinary (synchronous) reading too.
long long ReadAt(std::FILE *file, std::uint64_t offset, void *buffer, std::size_t size) {
  const int fd = _fileno(file);
  const intptr_t os_handle = fd < 0 ? -1 : _get_osfhandle(fd);
  if (os_handle == -1) {  // not backed by a file: through the stream after all
    if (_fseeki64(file, static_cast<long long>(offset), SEEK_SET) != 0) return -1;
    const std::size_t got = std::fread(buffer, 1, size, file);
    return got == 0 && std::ferror(file) != 0 ? -1 : static_cast<long long>(got);
  }
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(os_handle), buffer, wanted, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    LastErrorAsErrno();
    return -1;
  }
  return got;
}

// Windows paths are the system's own: kept as they are, drive and separators included.
std::string NativePath(std::string_view path) { return std::string(path); }

bool IsAbsolutePath(std::string_view path) {
  if (HasDrive(path)) return path.size() >= 3 && IsSeparator(static_cast<unsigned char>(path[2]));
  return path.size() >= 2 && IsSeparator(static_cast<unsigned char>(path[0])) &&
         IsSeparator(static_cast<unsigned char>(path[1]));
}

std::string NativePathFromWide(const portable::WChar *path) { return portable::Utf8FromWide(path); }

}  // namespace ydr::platform
