// The file names of the modules the library loads on first use, as the system's loader
// knows them.
#pragma once

namespace ydr::platform {

#if defined(_WIN32)
inline constexpr const char *kBaseModuleName = "YdrBL70.dll";
#if defined(_WIN64)
inline constexpr const char *kCryptoModuleFileName = "libcrypto-3-x64.dll";
#else
inline constexpr const char *kCryptoModuleFileName = "libcrypto-3.dll";
#endif
#else
inline constexpr const char *kBaseModuleName = "libYdrBL70.so";
inline constexpr const char *kCryptoModuleFileName = "libcrypto.so.3";
#endif

}  // namespace ydr::platform
