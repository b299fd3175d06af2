// The interface of the suite's base library as this project's stand-in, libYdrBL70.so,
// exports it. Every export is a plain C function; wide text is UTF-16 in unsigned 16-bit
// units, zero-terminated.
#pragma once

#include <stdio.h>

#include "platform/find_data.h"

#define YDR_BL_API extern "C" __attribute__((visibility("default")))

typedef struct tagYDR_MODULE_INFO {  // a module's registration record
  const unsigned short *name;
  unsigned int reserved0;
  void *instance;
  unsigned int reserved1;
  unsigned int kind;
  unsigned int started;
} YDR_MODULE_INFO;

using ydr::platform::WIN32_FIND_DATAW;

// Registers a module; nonzero on success. The record must stay valid until YdrExitModule.
// Refused (0): null record or name, or a record whose started flag is not 1.
YDR_BL_API int YdrInitModule(YDR_MODULE_INFO *info);
YDR_BL_API void YdrExitModule(YDR_MODULE_INFO *info);

// The calling thread's error code (each thread has its own, 0 until set).
YDR_BL_API void YdrSetError(int code);
YDR_BL_API int YdrGetError(void);

// Text conversion between UTF-16 and 8-bit text in a code page (0: the system's ANSI code
// page; 65001: UTF-8; n: CPn). srcLength -1 converts up to and including the terminator.
// Results: the number of bytes / units written, or with a destination size of 0 the number
// needed; 0 on failure. Characters the code page lacks (and malformed input) become '?'.
// The destination is never written past its size: text that does not fit is cut after the
// last whole character that does, terminated when the source's terminator was asked for,
// and the result is 0.
YDR_BL_API int YdrUnicodeToAnsi(unsigned int codePage, unsigned int flags, const unsigned short *src, int srcLength,
                                char *dst, int dstBytes, int reserved);
YDR_BL_API int YdrAnsiToUnicode(unsigned int codePage, unsigned int flags, const char *src, int srcLength,
                                unsigned short *dst, int dstChars, int reserved);

// The absolute form of a path in a buffer of 260 units: relative paths resolve against the
// current directory, "." and ".." fold (never above the root), both separators are read and
// '/' is written, a drive letter is kept, a trailing separator is kept. Nonzero on success;
// 0 (and an empty dst) when the path is null or empty or the result needs more than 259 units.
YDR_BL_API int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst);

// Makes every folder the path leads through; for a path ending in a separator, that folder
// too. Nonzero when they all exist afterwards.
YDR_BL_API int YdrPathCreate(const unsigned short *absolutePath);

// fopen for a wide path and mode; null on failure.
YDR_BL_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode);

// Directory search. Entries come sorted by name in ordinal UTF-16 order, "." and ".." first
// (the root lists neither). Only folders, regular files and symbolic links to them are
// listed; a link to a folder is marked 0x10 | 0x400, except that a link leading back to the
// searched folder or to any folder on its path is left out, so a depth-first walk through
// links always ends. The handle is closed with FindClose. (void*)-1 when nothing matches.
YDR_BL_API void *YdrFindFirstFileW(const unsigned short *pattern, WIN32_FIND_DATAW *data);
YDR_BL_API int YdrFindNextFileW(void *search, WIN32_FIND_DATAW *data);

// Decodes Base64 text (standard alphabet, '=' padding, which may be left off; blanks and line
// breaks are skipped) into *buffer, which must hold as many bytes as the text has characters.
// Returns the number of bytes decoded, or -1 for null arguments or text that is not Base64
// (a character outside the alphabet, padding inside the text, a dangling sixth bit group).
YDR_BL_API int YdrBase64ToAscii(const char *text, unsigned char **buffer);
