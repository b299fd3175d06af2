// Finding and loading the library's sibling modules, as its loader hooks did on Windows:
// the system's search first, then the suite's "Common" folder (cached process-wide once
// found), then the message "Can't Find module <name>". Modules loaded here are kept in
// load order and released together when the library unloads.
#pragma once

#include <string>

#include "platform/loader.h"

namespace ydr::imports {

// Loads a sibling module on its first use: the notify hook's load by the bare name, the
// loader's own second try, then the failure hook. Null (after the message) when it cannot be
// found. Callers serialise calls (SiblingModule does).
platform::HMODULE LoadSiblingModule(const char *name);

// The hooks, one step each.
platform::HMODULE NotifyHookPreLoadLibrary(const char *name);
platform::HMODULE FailureHookLoadLibrary(const char *name);

// The Common-folder cache as it stands (8-bit, ends in '\' once filled).
std::string CommonFolderCache();

// Releases every module in the loaded-module list, in load order, and empties it.
void ReleaseLoadedModules();
std::size_t LoadedModuleCount();

// Tests start each case from a process that has searched nothing.
void ResetModuleSearchForTesting();

}  // namespace ydr::imports
