/* The SEED block cipher (128-bit key and block) with ECB, CBC, OFB and full-block CFB, and
 * optional PKCS padding, streaming through a record the caller owns.
 *
 *   YDR_SEED_SetAlgInfo and YDR_SEED_KeySchedule (either order), then YDR_SEED_EncInit (or
 *   DecInit), Update any number of times, then Final. A new message starts again at Init;
 *   the round keys stay valid.
 *
 * Output space: an encryption Update writes at most (buffered + inputLength) rounded down to
 * a multiple of 16 bytes, a decryption Update at most (buffered + inputLength - 1) rounded
 * down to a multiple of 16, a Final at most 16. Decryption always holds back the last block
 * until Final, which checks and removes the padding. Update refuses (YDR_SEED_ERR_MODE, input
 * not consumed) to write its output over its own input buffer. No function checks its
 * pointers. The record holds no pointers; one record belongs to one thread at a time. */
#ifndef YDR_SEED_H
#define YDR_SEED_H

#include "ydr/api.h"

#define YDR_SEED_MODE_ECB 1u
#define YDR_SEED_MODE_CBC 2u
#define YDR_SEED_MODE_OFB 3u
#define YDR_SEED_MODE_CFB 4u /* 128-bit feedback */

#define YDR_SEED_PAD_NONE 1u
#define YDR_SEED_PAD_PKCS 2u /* p bytes of value p, 1 <= p <= 16 */

#define YDR_SEED_OK 0u
#define YDR_SEED_ERR_MODE 0x1001u       /* unknown mode or padding, or input == output */
#define YDR_SEED_ERR_KEY_LENGTH 0x1002u /* the key is not 16 bytes */
#define YDR_SEED_ERR_PADDING 0x1003u    /* decryption: the padding is not valid */
#define YDR_SEED_ERR_PARTIAL 0x1004u    /* encryption without padding ended inside a block */
#define YDR_SEED_ERR_CIPHERTEXT 0x1005u /* ECB/CBC decryption ended inside a block */

typedef struct {
  unsigned int mode;        /* YDR_SEED_MODE_* */
  unsigned int paddingType; /* YDR_SEED_PAD_* (ECB and CBC only) */
  unsigned char vector[16]; /* the initial vector */
  unsigned char chain[16];  /* CBC, CFB: the last ciphertext block; OFB: the last keystream block */
  unsigned char buffer[16]; /* input held back between calls */
  unsigned int bufferedLength;
  unsigned int roundKeys[32];
} YDR_SEED_ALG_INFO; /* 188 bytes */

YDR_EXTERN_C_BEGIN

/* Writes only the round keys; YDR_SEED_ERR_KEY_LENGTH (record untouched) unless keyLength is 16. */
YDR_API unsigned int YDR_SEED_KeySchedule(const unsigned char *key, unsigned int keyLength, YDR_SEED_ALG_INFO *info);
/* Stores mode and padding and copies 16 bytes of vector (zeros when vector is null). Nothing
 * is checked here; Update and Final refuse unknown values. */
YDR_API void YDR_SEED_SetAlgInfo(unsigned int mode, unsigned int paddingType, const unsigned char *vector,
                                 YDR_SEED_ALG_INFO *info);
YDR_API unsigned int YDR_SEED_EncInit(YDR_SEED_ALG_INFO *info);
YDR_API unsigned int YDR_SEED_DecInit(YDR_SEED_ALG_INFO *info);
YDR_API unsigned int YDR_SEED_EncUpdate(YDR_SEED_ALG_INFO *info, const unsigned char *input, unsigned int inputLength,
                                        unsigned char *output, unsigned int *outputLength);
YDR_API unsigned int YDR_SEED_DecUpdate(YDR_SEED_ALG_INFO *info, const unsigned char *input, unsigned int inputLength,
                                        unsigned char *output, unsigned int *outputLength);
YDR_API unsigned int YDR_SEED_EncFinal(YDR_SEED_ALG_INFO *info, unsigned char *output, unsigned int *outputLength);
YDR_API unsigned int YDR_SEED_DecFinal(YDR_SEED_ALG_INFO *info, unsigned char *output, unsigned int *outputLength);

YDR_EXTERN_C_END

#endif /* YDR_SEED_H */
