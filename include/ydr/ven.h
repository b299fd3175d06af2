/* Document encryption under a password, in place.
 *
 * VENCreate(password, kind) makes a key object from a UTF-16 password:
 *   kinds 1 and 2  DES (8-byte units) under a key folded from the password's bytes;
 *   kind 3         DES under a key folded from its first 40 code units;
 *   kind 4         AES-128 in CFB mode with 1-bit segments (16-byte units) under a key from
 *                  the SHA-1 digest of the password. One object's units, over all its calls
 *                  and in both directions, form one continuous stream: data written through
 *                  one object is read back by a new object made from the same password, fed
 *                  the same units in the same order.
 * VENLVOCreate(password, unused) makes an AES-128 ECB object whose key is the password's
 * first 8 code units; shorter passwords are refused (null).
 *
 * The block functions encrypt (Write) or decrypt (Read) `length` bytes of `buffer` in place.
 * The length is first rounded down to a multiple of 8; lengths below 8 do nothing. AES-backed
 * objects work in 16-byte units and round the count UP: with a length that is an odd
 * multiple of 8, the 8 bytes after it are transformed too, so the buffer must extend to the
 * next multiple of 16. Bytes after the last unit are left alone.
 *
 * Objects hold no pointers; their secrets are wiped when released. An AES-backed object must
 * not be used by two threads at once; a DES-backed one may be shared once created. Null
 * objects, passwords and buffers are not checked. */
#ifndef YDR_VEN_H
#define YDR_VEN_H

#include "ydr/api.h"

typedef struct VENObject *HVEN;
typedef struct VENLVOObject *HVENLVO;

YDR_EXTERN_C_BEGIN

/* Null for a kind other than 1 to 4, or when memory runs out. */
YDR_API HVEN VENCreate(const unsigned short *password, unsigned int kind);
YDR_API void VENRelease(HVEN ven);
YDR_API HVENLVO VENLVOCreate(const unsigned short *password, unsigned int unused);
YDR_API void VENLVORelease(HVENLVO lvo);
/* Writes the digest password of an 8-bit password into output (at least 45 bytes): 40
 * uppercase hexadecimal digits of SHA-1 over the password fed ceil(n / 64) times, a NUL, and
 * zeros up to byte 45. Returns output. */
YDR_API char *VENLVZMakePassword(const char *password, char *output);
YDR_API void VENWriteBlock(HVEN ven, unsigned char *buffer, int length);
YDR_API void VENReadBlock(HVEN ven, unsigned char *buffer, int length);
YDR_API void VENLVOWriteBlock(HVENLVO lvo, unsigned char *buffer, int length);
YDR_API void VENLVOReadBlock(HVENLVO lvo, unsigned char *buffer, int length);

YDR_EXTERN_C_END

#endif /* YDR_VEN_H */
