// The directory-search record and handle (YDR_FIND_DATAW, FindClose) shared by the base
// library, which makes searches, and this library, which closes them.
#pragma once

#include <cstdint>

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

// Every search handle starts with this header. The handle is made in one library and closed
// in another, so it carries the function that releases it.
struct FindHandleHeader {
  static constexpr std::uint32_t kMagic = 0x59464e44;  // "YFND"
  std::uint32_t magic;
  void (*release)(FindHandleHeader *handle);
};

// Closes a search handle; false for null, -1 or a handle that is not a search.
bool FindClose(HANDLE handle);

}  // namespace ydr::platform
