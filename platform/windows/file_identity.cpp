// A file's identity on Windows: its volume's serial number and the file's index there.
#include <io.h>
#include <windows.h>

#include "platform/file_identity.h"
#include "platform/windows/win32_text.h"

namespace ydr::platform {
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

}  // namespace ydr::platform
