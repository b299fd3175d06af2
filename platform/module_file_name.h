// GetModuleFileNameA(NULL, ...): the full path of the process's executable.
#pragma once

#include <string>

namespace ydr::platform {

inline constexpr std::size_t kMaxPath = 260;  // MAX_PATH: 259 characters and a terminator

// The executable's path (ExecutableFileName), or the override if one is set. A path that does
// not fit in kMaxPath bytes, or that cannot be read, gives an empty string.
std::string GetModuleFileNameA();

// Tests give the process another executable path; null removes the override.
void SetModuleFileNameOverride(const char *path);
// The system's answer, without the override: /proc/self/exe, or GetModuleFileNameW.
std::string ExecutableFileName();

}  // namespace ydr::platform
