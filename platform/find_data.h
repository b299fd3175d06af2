// The directory-search record (YDR_FIND_DATAW), its attributes and the invalid handle,
// shared by the base library, which makes searches, and this library, which walks them.
#pragma once

#include <cstdint>
#include <optional>

#include "ydr/base.h"

namespace ydr::platform {

inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// The record the base library's public header defines.
using FILETIME = ::YDR_FILETIME;

using HANDLE = void *;
// INVALID_HANDLE_VALUE: the all-ones pointer, as the platform defines it.
inline HANDLE InvalidHandleValue() {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));  // NOLINT(performance-no-int-to-ptr)
}

// Ends a directory search with the system's FindClose: whether it closed, or nothing where
// the system has no such call (POSIX, where the base library exports it instead).
std::optional<bool> CloseSystemSearch(HANDLE search);

}  // namespace ydr::platform
