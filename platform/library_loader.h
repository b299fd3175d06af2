// Loading modules (LoadLibraryA, FreeLibrary, GetProcAddress) and PathFileExistsA.
// A bare name ("libYdrBL70.so") goes through the system's search (dlopen's rules); a name
// with a folder is a path, with either separator, and a leading drive is dropped.
#pragma once

namespace ydr::platform {

using HMODULE = void *;

HMODULE LoadLibraryA(const char *name);
void FreeLibrary(HMODULE module);
void *GetProcAddress(HMODULE module, const char *name);
bool PathFileExistsA(const char *path);

}  // namespace ydr::platform
