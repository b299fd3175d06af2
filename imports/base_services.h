// The base library's functions as this library calls them. Each call goes to
// libYdrBL70.so, which is loaded on the first call of any of them. When it cannot be found
// (after the message), each call fails with the result given beside it, so callers need no
// second failure path.
#pragma once

#include <cstdio>

#include "base/ydr_base.h"
#include "platform/loader.h"

namespace ydr::bl {

inline constexpr const char *kModuleName = platform::kBaseModuleName;

int YdrInitModule(YDR_MODULE_INFO *info);   // 0
void YdrExitModule(YDR_MODULE_INFO *info);  // nothing done
void YdrSetError(int code);                 // nothing recorded
int YdrUnicodeToAnsi(unsigned int codePage, unsigned int flags, const unsigned short *src, int srcLength, char *dst,
                     int dstBytes, int reserved);  // 0
int YdrAnsiToUnicode(unsigned int codePage, unsigned int flags, const char *src, int srcLength, unsigned short *dst,
                     int dstChars, int reserved);                              // 0
int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst);        // 0, dst emptied
int YdrPathCreate(const unsigned short *absolutePath);                         // 0
FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode);      // null
void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data);  // (void*)-1
int YdrFindNextFileW(void *search, YDR_FIND_DATAW *data);                      // 0
// Ends a search that YdrFindFirstFileW began: the system's FindClose, or on POSIX, which has
// none, the one the base library exports.
int FindClose(void *search);                                     // 0
int YdrBase64ToAscii(const char *text, unsigned char **buffer);  // -1

}  // namespace ydr::bl
