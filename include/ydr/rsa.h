/* RSA with PKCS #1 v1.5 padding, one call per operation. The key is text: the Base64 form of
 * a DER-encoded PKCS #1 RSAPublicKey (the _PublicKey functions) or RSAPrivateKey (the
 * _PrivateKey functions); it is decoded afresh by every call and nothing is kept.
 *
 * output must hold as many bytes as the key's modulus. Encryption takes at most the modulus
 * size minus 11 bytes; decryption exactly one modulus-sized block. The result is the number
 * of bytes written, or YDR_RSA_FAILED for any failure: key text that is not Base64 or not an
 * RSA key of the right kind, input of the wrong length, padding that does not check out (a
 * wrong key), or libcrypto (libcrypto.so.3, loaded on first use) not being found. Any thread. */
#ifndef YDR_RSA_H
#define YDR_RSA_H

#include "ydr/api.h"

#define YDR_RSA_FAILED 0xFFFFFFFFu

YDR_EXTERN_C_BEGIN

/* Encryption to the holder of the private key. */
YDR_API unsigned int YDR_RSA_Encrypt_PublicKey(unsigned int length, const unsigned char *input, unsigned char *output,
                                               const char *keyText);
/* Recovers the bytes that YDR_RSA_Encrypt_PrivateKey signed. */
YDR_API unsigned int YDR_RSA_Decrypt_PublicKey(unsigned int length, const unsigned char *input, unsigned char *output,
                                               const char *keyText);
/* The raw PKCS #1 v1.5 signature (block type 1) of the given bytes, which are not hashed. */
YDR_API unsigned int YDR_RSA_Encrypt_PrivateKey(unsigned int length, const unsigned char *input, unsigned char *output,
                                                const char *keyText);
/* Decrypts what YDR_RSA_Encrypt_PublicKey produced. */
YDR_API unsigned int YDR_RSA_Decrypt_PrivateKey(unsigned int length, const unsigned char *input, unsigned char *output,
                                                const char *keyText);

YDR_EXTERN_C_END

#endif /* YDR_RSA_H */
