// Modules: their names, loading them and finding their functions, and the executable's path.
#pragma once

#include <string>

namespace ydr::platform {

// The file names of the modules the library loads on first use, as the system's loader
// knows them.
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

// Loading modules (LoadLibraryA, FreeLibrary, GetProcAddress) and PathFileExistsA.
// A bare name ("libYdrBL70.so") goes through the system's search (dlopen's rules); a name
// with a folder is a path, with either separator, and a leading drive is dropped.
using HMODULE = void *;

HMODULE LoadLibraryA(const char *name);
void FreeLibrary(HMODULE module);
void *GetProcAddress(HMODULE module, const char *name);
bool PathFileExistsA(const char *path);

// GetModuleFileNameA(NULL, ...): the full path of the process's executable.
inline constexpr std::size_t kMaxPath = 260;  // MAX_PATH: 259 characters and a terminator

// The executable's path (ExecutableFileName), or the override if one is set. A path that does
// not fit in kMaxPath bytes, or that cannot be read, gives an empty string.
std::string GetModuleFileNameA();

// Tests give the process another executable path; null removes the override.
void SetModuleFileNameOverride(const char *path);
// The system's answer, without the override: /proc/self/exe, or GetModuleFileNameW.
std::string ExecutableFileName();

}  // namespace ydr::platform
