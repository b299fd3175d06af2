/* SHA-1 (FIPS 180-1), incrementally, in a record the caller owns.
 *
 * YDR_SHA1_Init, then YDR_SHA1_Update any number of times, then YDR_SHA1_Final once. The
 * record holds no pointers and may be copied to fork a computation; after YDR_SHA1_Final it
 * must be started again before it is fed. No function checks its pointers. Any thread; one
 * record to one thread at a time. */
#ifndef YDR_SHA1_H
#define YDR_SHA1_H

#include "ydr/api.h"

typedef struct {
  unsigned int chain[5];    /* H0..H4 in host byte order */
  unsigned int count[4];    /* [0] low and [1] high 32 bits of the message bits fed; [2], [3] unused */
  unsigned char buffer[64]; /* the bytes of the current, incomplete block */
} YDR_SHA1_ALG_INFO;        /* 100 bytes */

YDR_EXTERN_C_BEGIN

YDR_API void YDR_SHA1_Init(YDR_SHA1_ALG_INFO *info);
YDR_API void YDR_SHA1_Update(YDR_SHA1_ALG_INFO *info, const unsigned char *data, unsigned int length);
/* Pads, finishes and writes the 20-byte digest. The record then holds the digest's words in
 * host order and the padded last block; it is not wiped. */
YDR_API void YDR_SHA1_Final(YDR_SHA1_ALG_INFO *info, unsigned char *digest);

YDR_EXTERN_C_END

#endif /* YDR_SHA1_H */
