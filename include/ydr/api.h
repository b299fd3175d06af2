/* Export and linkage markers shared by the library's public headers. */
#ifndef YDR_API_H
#define YDR_API_H

#if defined(_WIN32)
#define YDR_API
#else
#define YDR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define YDR_EXTERN_C_BEGIN extern "C" {
#define YDR_EXTERN_C_END }
#else
#define YDR_EXTERN_C_BEGIN
#define YDR_EXTERN_C_END
#endif

#endif /* YDR_API_H */
