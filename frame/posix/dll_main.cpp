// The library's entry point. The loader runs the constructor when the library is loaded
// and the destructor when it is unloaded (or the process exits), as a Windows loader makes
// its attach and detach calls. The instance handle is the library's load address,
// which is what a module handle is.
#include <dlfcn.h>

#include "frame/module_entry.h"

namespace {

char g_anchor;  // any object inside the library tells dladdr which library it is

void *OwnLoadAddress() {
  Dl_info info;
  if (dladdr(&g_anchor, &info) == 0) return nullptr;
  return info.dli_fbase;
}

__attribute__((constructor)) void LibraryLoaded() { ydr::frame::ProcessAttach(OwnLoadAddress()); }

__attribute__((destructor)) void LibraryUnloaded() { ydr::frame::ProcessDetach(); }

}  // namespace
