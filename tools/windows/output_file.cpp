// Output on Windows: a link is followed to the file it names (its final path), a temporary
// file is written beside the target, committed to disk and moved onto it in one step. Files
// made new get the system's default protection, except that a file whose exact POSIX mode
// lets no one but its owner in (a private key's 0600) gets a protected access list that
// lets the current user alone at it; the move keeps it.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>

#include "platform/files.h"
#include "platform/windows/owner_only_security.h"
#include "platform/windows/win32_text.h"
#include "tools/file_io.h"

namespace ydr::tool {
namespace {

// Where a link leads; the path itself when it is no link or cannot be followed.
std::string FinalPath(const std::string &path) {
  const HANDLE handle =
      CreateFileW(platform::SystemWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  wchar_t buffer[32768];
  const DWORD length = GetFinalPathNameByHandleW(handle, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (length == 0 || length >= 32768) return path;
  std::wstring final_path(buffer, length);
  if (final_path.rfind(L"\\\\?\\", 0) == 0) final_path.erase(0, 4);
  return platform::Utf8FromSystemWide(final_path.c_str());
}

// A new file, open for writing, that may be deleted while open: the handler of an
// interruption (tools/windows/interrupt_signals.cpp) deletes it from another thread.
int OpenTemporary(const std::string &path, SECURITY_ATTRIBUTES *security) {
  const HANDLE handle =
      CreateFileW(platform::SystemWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    platform::LastErrorAsErrno();
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

}  // namespace

bool Output::OpenFile(const std::string &path, unsigned new_file_mode, bool exact_mode) {
  target_ = platform::IsSymbolicLink(path) ? FinalPath(path) : path;
  platform::PathStatus status;
  const bool exists = platform::StatusOf(target_, &status);
  if (exists && status.kind == platform::PathStatus::Kind::kFolder) {
    errno = EISDIR;
    return Fail();
  }
  if (exists && status.kind == platform::PathStatus::Kind::kOther) {  // a device: straight into it
    file_ = platform::OpenStream(path, "wb");
    return file_ != nullptr || Fail();
  }
  std::optional<platform::OwnerOnlySecurity> owner_only;
  if (exact_mode && (new_file_mode & 077) == 0) {
    owner_only.emplace();
    if (owner_only->attributes() == nullptr) return Fail();
  }
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = target_ + ".ydr-" + std::to_string(random() % 1000000000u);
    cleanup_.emplace();
    const int fd = OpenTemporary(temporary_, owner_only ? owner_only->attributes() : nullptr);
    if (fd >= 0) {
      cleanup_->Record(temporary_);
      file_ = _fdopen(fd, "w+b");
      if (file_ != nullptr) return true;
      Fail();
      _close(fd);
      platform::RemoveFile(temporary_);
      temporary_.clear();
      cleanup_.reset();
      return false;
    }
    cleanup_.reset();
    if (errno != EEXIST) break;
  }
  temporary_.clear();
  return Fail();
}

bool Output::CommitToDisk(std::FILE *file) { return _commit(_fileno(file)) == 0; }

// The modification time only: the permissions have no counterpart here.
bool Output::ApplyAttributes(std::FILE *file) const {
  struct _stat64 info {};
  if (_wstat64(platform::SystemWide(attributes_from_).c_str(), &info) != 0) return false;
  __utimbuf64 times{info.st_atime, info.st_mtime};
  return _futime64(_fileno(file), &times) == 0;
}

bool Output::MoveIntoPlace() const {
  // Without the replacing flag, the move fails where anything is (ERROR_ALREADY_EXISTS).
  const DWORD replace = keep_existing_ ? 0 : MOVEFILE_REPLACE_EXISTING;
  if (MoveFileExW(platform::SystemWide(temporary_).c_str(), platform::SystemWide(target_).c_str(),
                  replace | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  platform::LastErrorAsErrno();
  return false;
}

}  // namespace ydr::tool
