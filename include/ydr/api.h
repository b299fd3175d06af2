/* Export and linkage markers shared by the library's public headers. */
#ifndef YDR_API_H
#define YDR_API_H

#if defined(_WIN32)
/* Windows exports what is marked for export when the DLL is built; a member of an exported
   class cannot be kept back there. */
#if defined(YDR_BUILDING_LIBRARY)
#define YDR_API __declspec(dllexport)
#else
#define YDR_API
#endif
#define YDR_INTERNAL
#else
#define YDR_API __attribute__((visibility("default")))
#define YDR_INTERNAL \
  __attribute__((visibility("hidden"))) /* a member of an exported class kept private to the library */
#endif

#ifdef __cplusplus
#define YDR_EXTERN_C_BEGIN extern "C" {
#define YDR_EXTERN_C_END }
#else
#define YDR_EXTERN_C_BEGIN
#define YDR_EXTERN_C_END
#endif

#endif /* YDR_API_H */
