// The corpus's synthetic files, the same bytes on every machine: `random` (splitmix64,
// incompressible) and `runs` (byte runs, short-period patterns, repeats inside and far beyond
// a 32 KiB window, text-like literals and a little noise, in random order).
// Usage: corpus_generator random|runs OUTFILE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
static uint64_t s;
static uint64_t nx(void) {
  uint64_t z = (s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
static uint64_t rr(uint64_t n) { return nx() % n; }
int main(int argc, char **argv) {
  if (argc < 3) return 2;
  size_t N = 8000000;
  unsigned char *b = malloc(N + 70000);
  size_t p = 0;
  if (!strcmp(argv[1], "random")) {
    s = 0x5EED1951ull;
    for (p = 0; p < N; p += 8) {
      uint64_t v = nx();
      memcpy(b + p, &v, 8);
    }
  } else {
    s = 0x0DEF1A7Eull;
    static const char words[] = "the quick brown fox jumps over the lazy dog 0123456789 ";
    while (p < N) {
      unsigned r = rr(100);
      size_t len, i;
      if (r < 30) { /* single-byte run */
        unsigned char c = (unsigned char)(rr(4) == 0 ? 0 : rr(256));
        len = 16 + rr(16384);
        memset(b + p, c, len);
        p += len;
      } else if (r < 50) { /* short-period pattern */
        size_t per = 2 + rr(15);
        unsigned char pat[16];
        for (i = 0; i < per; i++) pat[i] = (unsigned char)rr(256);
        len = 64 + rr(8192);
        for (i = 0; i < len; i++) b[p + i] = pat[i % per];
        p += len;
      } else if (r < 75 && p > 0) { /* repeat inside 32 KiB window, may overlap */
        size_t d = 1 + rr(p < 32768 ? p : 32768);
        len = 3 + rr(2048);
        for (i = 0; i < len; i++) b[p + i] = b[p - d + i];
        p += len;
      } else if (r < 85 && p > 0) { /* long-distance repeat, up to 1 MiB back */
        size_t d = 1 + rr(p < 1048576 ? p : 1048576);
        len = 64 + rr(4096);
        for (i = 0; i < len; i++) b[p + i] = b[p - d + i];
        p += len;
      } else if (r < 95) { /* text-ish literals */
        len = 16 + rr(256);
        for (i = 0; i < len; i++) b[p + i] = (unsigned char)words[rr(sizeof(words) - 1)];
        p += len;
      } else { /* random noise */
        len = 8 + rr(128);
        for (i = 0; i < len; i++) b[p + i] = (unsigned char)rr(256);
        p += len;
      }
    }
  }
  FILE *f = fopen(argv[2], "wb");
  if (!f || fwrite(b, 1, N, f) != N) return 1;
  fclose(f);
  return 0;
}
