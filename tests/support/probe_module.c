/* A module for the lookup tests to find: copied into folder trees under other names. When
 * it is unloaded it appends its own file name to the file that YDR_PROBE_LOG names, so the
 * tests can see the order in which modules are released. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

__attribute__((visibility("default"))) int YdrProbeAnswer(void) { return 42; }

static char anchor;

__attribute__((destructor)) static void ProbeUnloaded(void) {
  const char *log = getenv("YDR_PROBE_LOG");
  Dl_info info;
  if (log == NULL || dladdr(&anchor, &info) == 0 || info.dli_fname == NULL) return;
  FILE *file = fopen(log, "a");
  if (file == NULL) return;
  const char *slash = strrchr(info.dli_fname, '/');
  fprintf(file, "%s\n", slash != NULL ? slash + 1 : info.dli_fname);
  fclose(file);
}
