/* Seals a short message for the holder of a private key, and opens it again, with RSA and
 * PKCS #1 v1.5 padding. The keys are PEM files in the PKCS #1 form that openssl writes with
 *   openssl genrsa -traditional -out private.pem 2048
 *   openssl rsa -in private.pem -RSAPublicKey_out -out public.pem
 * and the library takes the Base64 text between the armour lines as it is.
 *
 *   rsa_seal seal PUBLIC.pem < MESSAGE > SEALED     at most the key's size minus 11 bytes
 *   rsa_seal open PRIVATE.pem < SEALED > MESSAGE */
#include <stdio.h>
#include <string.h>

#include "ydr/rsa.h"

/* The Base64 lines of a PEM file (the "-----" armour lines left out), or 0 when it cannot be
 * read or does not fit. Line breaks may stay: the library skips them. */
static int ReadKeyText(const char *path, char *text, size_t size) {
  FILE *file = fopen(path, "r");
  if (file == NULL) return 0;
  char line[256];
  size_t used = 0;
  text[0] = '\0';
  while (fgets(line, sizeof line, file) != NULL) {
    if (strncmp(line, "-----", 5) == 0) continue;
    const size_t length = strlen(line);
    if (used + length + 1 > size) {
      fclose(file);
      return 0;
    }
    memcpy(text + used, line, length + 1);
    used += length;
  }
  fclose(file);
  return used > 0;
}

int main(int argc, char **argv) {
  const int seal = argc == 3 && strcmp(argv[1], "seal") == 0;
  if (argc != 3 || (!seal && strcmp(argv[1], "open") != 0)) {
    fprintf(stderr, "usage: %s seal PUBLIC.pem | open PRIVATE.pem  < IN > OUT\n", argv[0]);
    return 2;
  }
  static char key[16384];
  if (!ReadKeyText(argv[2], key, sizeof key)) {
    fprintf(stderr, "rsa_seal: cannot read the key %s\n", argv[2]);
    return 1;
  }
  /* One block each way: up to 16384-bit keys, so 2048 bytes. */
  static unsigned char in[2049], out[2048];
  const size_t length = fread(in, 1, sizeof in, stdin);
  const unsigned int written = length == sizeof in ? YDR_RSA_FAILED
                               : seal              ? YDR_RSA_Encrypt_PublicKey((unsigned int)length, in, out, key)
                                                   : YDR_RSA_Decrypt_PrivateKey((unsigned int)length, in, out, key);
  if (written == YDR_RSA_FAILED) {
    fprintf(stderr, "rsa_seal: %s failed: a key of the wrong kind, a message too long for it, or a wrong key\n",
            argv[1]);
    return 1;
  }
  fwrite(out, 1, written, stdout);
  return fflush(stdout) == 0 ? 0 : 1;
}
