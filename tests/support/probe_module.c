/* A module for the lookup tests, copied into folder trees under other names. Unloaded, it
 * appends its own file name to the file YDR_PROBE_LOG names: the order modules are released. */
#if defined(_WIN32)
#include <windows.h>
#define PROBE_EXPORT __declspec(dllexport)
#else
#define _GNU_SOURCE
#include <dlfcn.h>
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif
#include <stdio.h>
#include <stdlib.h>

PROBE_EXPORT int YdrProbeAnswer(void) { return 42; }

static void LogUnload(const char *file_name) {
  const char *log = getenv("YDR_PROBE_LOG");
  if (log == NULL || file_name == NULL) return;
  FILE *file = fopen(log, "ab");
  if (file == NULL) return;
  const char *name = file_name;
  for (const char *p = file_name; *p != '\0'; ++p) name = *p == '/' || *p == '\\' ? p + 1 : name;
  fprintf(file, "%s\n", name);
  fclose(file);
}

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_DETACH) {
    char name[MAX_PATH];
    if (GetModuleFileNameA(instance, name, MAX_PATH) > 0) LogUnload(name);
  }
  return TRUE;
}
#else
static char anchor;

__attribute__((destructor)) static void ProbeUnloaded(void) {
  Dl_info info;
  if (dladdr(&anchor, &info) != 0) LogUnload(info.dli_fname);
}
#endif
