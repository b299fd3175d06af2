/* Prints the SHA-1 digest of each file, or of standard input, in sha1sum's format: the 40
 * hex digits, two spaces and the name. The digest is computed piece by piece, so a file of
 * any size goes through a small buffer.
 *
 *   sha1_sum [FILE]... */
#include <stdio.h>

#include "ydr/sha1.h"

/* Feeds the whole file to a fresh record and prints its line; 0 when it could not be read. */
static int PrintDigest(FILE *file, const char *name) {
  YDR_SHA1_ALG_INFO sha1;
  YDR_SHA1_Init(&sha1);
  unsigned char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) YDR_SHA1_Update(&sha1, buffer, (unsigned int)got);
  if (ferror(file)) return 0;
  unsigned char digest[20];
  YDR_SHA1_Final(&sha1, digest);
  for (int i = 0; i < 20; ++i) printf("%02x", digest[i]);
  printf("  %s\n", name);
  return 1;
}

int main(int argc, char **argv) {
  if (argc == 1) return PrintDigest(stdin, "-") ? 0 : 1;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    FILE *file = fopen(argv[i], "rb");
    if (file == NULL || !PrintDigest(file, argv[i])) {
      perror(argv[i]);
      status = 1;
    }
    if (file != NULL) fclose(file);
  }
  return status;
}
