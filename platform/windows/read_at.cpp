// Positioned reads on the file's own handle: one ReadFile with its offset in an OVERLAPPED
// record, which works on handles opened for ordinary (synchronous) reading too.
#include "platform/read_at.h"

#include <io.h>
#include <windows.h>

#include <climits>

#include "platform/windows/win32_text.h"

namespace ydr::platform {

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

}  // namespace ydr::platform
