/* Compresses a file into the stream format through the YdrGZ callbacks, then reads it back
 * and checks that the data and the trailer agree. YdrGZWrite and YdrGZCloseWrite do not
 * report a failing write callback: the callback keeps note of it itself.
 *
 *   gz_compress IN OUT */
#include <stdio.h>
#include <string.h>

#include "ydr/gz.h"

/* The write callback's user value: the output file, and whether a write failed. */
typedef struct {
  FILE *file;
  int failed;
} Output;

/* The write callback: once a write fails, the rest is dropped and the failure remembered. */
static int WriteToFile(YDRGZ stream, void *user, const void *buffer, int count) {
  (void)stream;
  Output *out = (Output *)user;
  if (!out->failed && fwrite(buffer, 1, (size_t)count, out->file) != (size_t)count) out->failed = 1;
  return out->failed ? -1 : count;
}

/* The read callback: the user value is the input file; 0 at its end. */
static int ReadFromFile(YDRGZ stream, void *user, void *buffer, int count) {
  (void)stream;
  return (int)fread(buffer, 1, (size_t)count, (FILE *)user);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
    return 2;
  }
  FILE *in = fopen(argv[1], "rb");
  FILE *out = fopen(argv[2], "wb");
  if (in == NULL || out == NULL) {
    perror("gz_compress: cannot open");
    return 1;
  }
  Output output = {out, 0};
  YDRGZ writer = YdrGZOpenWrite(WriteToFile, &output);
  char buffer[65536];
  size_t got;
  long long original = 0;
  while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) {
    YdrGZWrite(writer, buffer, (int)got);
    original += (long long)got;
  }
  YdrGZCloseWrite(writer);
  if (fclose(out) != 0 || output.failed) {
    perror("gz_compress: cannot write");
    return 1;
  }

  /* Back again: every byte, then the CRC-32 and length check of close. */
  FILE *check = fopen(argv[2], "rb");
  if (check == NULL) return 1;
  YDRGZ reader = YdrGZOpenRead(ReadFromFile, check);
  long long decoded = 0;
  int n;
  while ((n = YdrGZRead(reader, buffer, (int)sizeof buffer)) > 0) decoded += n;
  const int closed = YdrGZCloseRead(reader);
  long compressed = ftell(check);
  fclose(check);
  fclose(in);
  if (n < 0 || closed < 0 || decoded != original) {
    fprintf(stderr, "gz_compress: the stream does not read back\n");
    return 1;
  }
  printf("%lld bytes in, %ld bytes out\n", original, compressed);
  return 0;
}
