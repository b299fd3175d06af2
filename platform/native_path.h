// Paths at the file-system boundary. The library's callers write Windows paths: either
// separator, and perhaps a drive letter. Here both separators become '/', and a leading
// drive ("C:") is dropped, so "C:\docs\a.txt" names /docs/a.txt. On Windows a path stays as
// it is. Either way the 8-bit form is UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/utf16.h"

namespace ydr::platform {

bool IsSeparator(char32_t c);
// True when the path starts with a drive letter and a colon ("C:").
bool HasDrive(std::string_view path);
bool HasDrive(const WChar *path, std::size_t length);
// True when the path names the same place whatever the current folder and drive are: on
// POSIX it starts with a separator once any drive is dropped; on Windows it has a drive and
// a separator after it ("C:\x", not the drive-relative "C:x"), or is a UNC path ("\\host").
bool IsAbsolutePath(std::string_view path);

std::string NativePath(std::string_view path);      // 8-bit path, bytes kept as they are
std::string NativePathFromWide(const WChar *path);  // UTF-16 path, converted to UTF-8

}  // namespace ydr::platform
