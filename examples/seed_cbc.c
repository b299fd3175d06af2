/* Encrypts or decrypts standard input to standard output with SEED in CBC mode with PKCS
 * padding, as `openssl enc -seed-cbc` does. The data streams through one record: each Update
 * hands back the whole blocks it can, Final the rest (encryption: the padded last block;
 * decryption: the last block with its padding checked and removed).
 *
 *   seed_cbc enc|dec KEY IV < IN > OUT      KEY and IV: 32 hex digits each */
#include <stdio.h>
#include <string.h>

#include "ydr/seed.h"

/* 16 bytes from 32 hex digits; 0 when the text is anything else. */
static int ParseHex16(const char *text, unsigned char bytes[16]) {
  if (strlen(text) != 32) return 0;
  for (int i = 0; i < 16; ++i) {
    unsigned int byte;
    if (sscanf(text + 2 * i, "%2x", &byte) != 1) return 0;
    bytes[i] = (unsigned char)byte;
  }
  return 1;
}

int main(int argc, char **argv) {
  unsigned char key[16], iv[16];
  const int encrypt = argc == 4 && strcmp(argv[1], "enc") == 0;
  if (argc != 4 || (!encrypt && strcmp(argv[1], "dec") != 0) || !ParseHex16(argv[2], key) || !ParseHex16(argv[3], iv)) {
    fprintf(stderr, "usage: %s enc|dec KEY IV < IN > OUT   (KEY and IV: 32 hex digits)\n", argv[0]);
    return 2;
  }
  YDR_SEED_ALG_INFO seed;
  YDR_SEED_KeySchedule(key, 16, &seed);
  YDR_SEED_SetAlgInfo(YDR_SEED_MODE_CBC, YDR_SEED_PAD_PKCS, iv, &seed);
  unsigned int result = encrypt ? YDR_SEED_EncInit(&seed) : YDR_SEED_DecInit(&seed);

  /* Update writes at most the input plus the block it holds back, rounded down to blocks. */
  unsigned char in[4096], out[sizeof in + 16];
  unsigned int written;
  size_t got;
  while (result == YDR_SEED_OK && (got = fread(in, 1, sizeof in, stdin)) > 0) {
    result = encrypt ? YDR_SEED_EncUpdate(&seed, in, (unsigned int)got, out, &written)
                     : YDR_SEED_DecUpdate(&seed, in, (unsigned int)got, out, &written);
    if (result == YDR_SEED_OK) fwrite(out, 1, written, stdout);
  }
  if (result == YDR_SEED_OK) {
    result = encrypt ? YDR_SEED_EncFinal(&seed, out, &written) : YDR_SEED_DecFinal(&seed, out, &written);
    if (result == YDR_SEED_OK) fwrite(out, 1, written, stdout);
  }
  /* The round keys are the secret: wipe them (through volatile, so the stores stay). */
  volatile unsigned char *wipe = (volatile unsigned char *)&seed;
  for (size_t i = 0; i < sizeof seed; ++i) wipe[i] = 0;
  if (result != YDR_SEED_OK) {
    fprintf(stderr, "seed_cbc: %s (0x%x)\n",
            result == YDR_SEED_ERR_PADDING      ? "the padding is wrong: a wrong key or IV, or not our data"
            : result == YDR_SEED_ERR_CIPHERTEXT ? "the data ends inside a block"
                                                : "the cipher refused the data",
            result);
    return 1;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
