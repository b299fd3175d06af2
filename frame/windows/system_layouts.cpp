// The records the library shares with the system's own, held to the system headers' layout:
// a find-data record filled here is one a Windows program can read as WIN32_FIND_DATAW.
#include <windows.h>

#include <cstddef>

#include "ydr/base.h"

static_assert(sizeof(YDR_FILETIME) == sizeof(FILETIME), "the file time");
static_assert(sizeof(YDR_FIND_DATAW) == sizeof(WIN32_FIND_DATAW), "the wide find-data record");
static_assert(offsetof(YDR_FIND_DATAW, ftLastWriteTime) == offsetof(WIN32_FIND_DATAW, ftLastWriteTime) &&
                  offsetof(YDR_FIND_DATAW, nFileSizeHigh) == offsetof(WIN32_FIND_DATAW, nFileSizeHigh) &&
                  offsetof(YDR_FIND_DATAW, cFileName) == offsetof(WIN32_FIND_DATAW, cFileName) &&
                  offsetof(YDR_FIND_DATAW, cAlternateFileName) == offsetof(WIN32_FIND_DATAW, cAlternateFileName),
              "the wide find-data record's fields");
