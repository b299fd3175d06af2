// The library's entry point: the loader's attach and detach calls.
#include <windows.h>

#include "frame/module_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: return ydr::frame::ProcessAttach(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: ydr::frame::ProcessDetach(); return TRUE;
    default: return TRUE;
  }
}
