// The registry functions the library reads its one setting with (RegOpenKeyExA,
// RegQueryValueExA, RegCloseKey), over the read-only registry file of registry_file.h:
// $YDR_REGISTRY if set, else /etc/ydr/registry.ini. A missing or unreadable file behaves
// as a registry without the key. On Windows they are the system's registry (values read as
// UTF-16, handed out as UTF-8 like every 8-bit text of the platform layer), and the file
// override does nothing.
#pragma once

#include <cstdint>

namespace ydr::platform {

enum class RegistryRoot { kLocalMachine, kCurrentUser };
struct RegistryKey;
using HKEY = RegistryKey *;

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kKeyRead = 0x20019;

long RegOpenKeyExA(RegistryRoot root, const char *sub_key, std::uint32_t options, std::uint32_t access, HKEY *result);
// Copies the string value and its terminator into data. With data too small: kErrorMoreData
// and *size set to the size needed, data untouched.
long RegQueryValueExA(HKEY key, const char *name, std::uint32_t *reserved, std::uint32_t *type, unsigned char *data,
                      std::uint32_t *size);
long RegCloseKey(HKEY key);

// The file the registry is read from; tests point it elsewhere (null: back to the default).
void SetRegistryFileOverride(const char *path);

}  // namespace ydr::platform
