/* The base library (libYdrBL70.so): module registration, per-thread error codes, text
 * conversion between UTF-16 and 8-bit code pages, paths, folder creation, wide fopen, folder
 * search and Base64. Every export is a plain C function; wide text is UTF-16 in unsigned
 * 16-bit units, zero-terminated. */
#ifndef YDR_BASE_H
#define YDR_BASE_H

#include <stdio.h>

#include "ydr/api.h"

typedef struct tagYDR_MODULE_INFO { /* a module's registration record */
  const unsigned short *name;
  unsigned int reserved0;
  void *instance;
  unsigned int reserved1;
  unsigned int kind;
  unsigned int started;
} YDR_MODULE_INFO;

typedef struct tagYDR_FILETIME { /* 100-nanosecond steps since 1601-01-01 */
  unsigned int dwLowDateTime;
  unsigned int dwHighDateTime;
} YDR_FILETIME;

/* One entry of a folder search, laid out as the platform's wide find-data record. Attributes:
 * 0x01 read-only, 0x10 folder, 0x20 file, 0x400 symbolic link. */
typedef struct tagYDR_FIND_DATAW {
  unsigned int dwFileAttributes;
  YDR_FILETIME ftCreationTime;
  YDR_FILETIME ftLastAccessTime;
  YDR_FILETIME ftLastWriteTime;
  unsigned int nFileSizeHigh;
  unsigned int nFileSizeLow;
  unsigned int dwReserved0;
  unsigned int dwReserved1;
  unsigned short cFileName[260];
  unsigned short cAlternateFileName[14];
} YDR_FIND_DATAW;

YDR_EXTERN_C_BEGIN

/* Registers a module; nonzero on success. The record must stay valid until YdrExitModule. Refused
 * (0): null record or name, or a record whose started flag is not 1. */
YDR_API int YdrInitModule(YDR_MODULE_INFO *info);
YDR_API void YdrExitModule(YDR_MODULE_INFO *info);

/* The calling thread's error code (each thread has its own, 0 until set). */
YDR_API void YdrSetError(int code);
YDR_API int YdrGetError(void);

/* Text conversion between UTF-16 and 8-bit text in a code page (0: the system's ANSI code page;
 * 65001: UTF-8; n: CPn). srcLength -1 converts up to and including the terminator. Results: the
 * number of bytes / units written, or with a destination size of 0 the number needed; 0 on
 * failure. Characters the code page lacks (and malformed input) become '?', except that a lone
 * surrogate written as UTF-8 becomes U+FFFD. The destination is never written past its size: text
 * that does not fit is cut after the last whole character that does, terminated when the source's
 * terminator was asked for, and the result is 0. */
YDR_API int YdrUnicodeToAnsi(unsigned int codePage, unsigned int flags, const unsigned short *src, int srcLength,
                             char *dst, int dstBytes, int reserved);
YDR_API int YdrAnsiToUnicode(unsigned int codePage, unsigned int flags, const char *src, int srcLength,
                             unsigned short *dst, int dstChars, int reserved);

/* The absolute form of a path in a buffer of 260 units: relative paths resolve against the current
 * directory, "." and ".." fold (never above the root), both separators are read, a trailing
 * separator is kept. On Windows it is the system's own form (drive letters, network paths
 * \\server\share\ kept, '\' written); on POSIX '/' is written and a drive letter is kept in front.
 * Nonzero on success; 0 (and an empty dst) when the path is null or empty or the result needs more
 * than 259 units. */
YDR_API int YdrPathToAbsolute(const unsigned short *path, unsigned short *dst);

/* Makes every folder the path leads through; for a path ending in a separator, that folder too.
 * Nonzero when they all exist afterwards. */
YDR_API int YdrPathCreate(const unsigned short *absolutePath);

/* fopen for a wide path and mode; null on failure. */
YDR_API FILE *_u__wfopen(const unsigned short *path, const unsigned short *mode);

/* Directory search: (void*)-1 when nothing matches, else a handle that the caller closes with the
 * system's FindClose. On Windows the handle and the entries are the system's own (file system
 * order; folder reparse points listed, marked 0x10 | 0x400). On POSIX, whose system has no such
 * search, this library exports the FindClose that closes its handles, and entries come sorted by
 * name in ordinal UTF-16 order, "." and ".." first (the root lists neither). Only folders, regular
 * files and symbolic links to them are listed there; a link to a folder is marked 0x10 | 0x400,
 * except that a link leading back to the searched folder or to any folder on its path is left out,
 * so a depth-first walk through links always ends. */
YDR_API void *YdrFindFirstFileW(const unsigned short *pattern, YDR_FIND_DATAW *data);
YDR_API int YdrFindNextFileW(void *search, YDR_FIND_DATAW *data);
#ifndef _WIN32
/* Ends a search: 1, or 0 for anything that is not a search still open. */
YDR_API int FindClose(void *search);
#endif

/* Decodes Base64 text (standard alphabet, '=' padding, which may be left off; blanks and line
 * breaks are skipped) into *buffer, which must hold as many bytes as the text has characters.
 * Returns the number of bytes decoded, or -1 for null arguments or text that is not Base64 (a
 * character outside the alphabet, padding inside the text, a dangling sixth bit group). */
YDR_API int YdrBase64ToAscii(const char *text, unsigned char **buffer);

YDR_EXTERN_C_END

#endif /* YDR_BASE_H */
