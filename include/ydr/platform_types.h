/* The window-system types that the plug-in interface passes through: the system's own on
 * Windows, small equivalents elsewhere (opaque handles and a rectangle of four longs). */
#ifndef YDR_PLATFORM_TYPES_H
#define YDR_PLATFORM_TYPES_H

#if defined(_WIN32)
#include <windows.h>
#else
typedef struct YdrDeviceContext *HDC; /* a drawing surface of the host */
typedef struct YdrWindow *HWND;       /* a window of the host */
typedef struct {
  long left;
  long top;
  long right;
  long bottom;
} RECT;
#endif

#endif /* YDR_PLATFORM_TYPES_H */
