// The library's start and stop: registering with the base library when it loads, and
// deregistering and releasing its sibling modules when it unloads.
#pragma once

#include "base/ydr_base.h"

namespace ydr::frame {

inline constexpr const char *kAttachMessage = "DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n";
inline constexpr const char *kDetachMessage = "DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n";

// The attach sequence: the debug string, the record's instance and started flag, then
// registration (whose result is not consulted). Always true.
bool ProcessAttach(void *instance);
// The detach sequence: the debug string and deregistration; then the loaded modules are
// released in load order.
bool ProcessDetach();

// The registration record (its address is what the base library knows the module by).
YDR_MODULE_INFO *ModuleInfo();

}  // namespace ydr::frame
