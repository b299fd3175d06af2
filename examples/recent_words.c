/* Counts the words of standard input, remembering only the most recently seen ones: a cache
 * of at most N records, each a word and its count. A word seen again is found with Get, which
 * also makes it the newest; a new word is stored with Put, and when that makes N + 1 records
 * the oldest goes, through the callback's destroy operation. At the end the remembered words
 * are listed from the newest to the oldest.
 *
 *   recent_words N < TEXT */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ydr/cache.h"

/* A record: the cache copies the key's bytes into its own storage, so a lookup key is a
 * whole record too. */
typedef struct {
  char word[28]; /* zero-terminated; longer words are cut */
  int count;
} WordRecord;

/* The one callback for every record operation; `user` counts the evictions. */
static unsigned int WordCallback(unsigned int op, void *first, void *second, uintptr_t user) {
  const WordRecord *record = (const WordRecord *)first;
  switch (op) {
    case YDR_CACHE_OP_HASH: return YdrCacheGetHashStrA(record->word);
    case YDR_CACHE_OP_COMPARE: return strcmp(record->word, ((const WordRecord *)second)->word) == 0;
    case YDR_CACHE_OP_DESTROY:
      /* Nothing to free (the record owns no memory); say which word the cache let go. */
      if (*(int *)user) printf("forgot %s (%d)\n", record->word, record->count);
      return 0;
    default: return 0; /* initialise: nothing to do; copy: 0 lets the cache copy the bytes */
  }
}

int main(int argc, char **argv) {
  const int limit = argc == 2 ? atoi(argv[1]) : 0;
  if (argc != 2 || limit < 1) {
    fprintf(stderr, "usage: %s N < TEXT   (N >= 1)\n", argv[0]);
    return 2;
  }
  int reporting = 1;
  YDR_CACHE_INFO info = {32, sizeof(WordRecord), limit, 0, 0, 101, (uintptr_t)&reporting, WordCallback};
  HYDRCACHE cache = YdrCacheCreate(&info);
  if (cache == NULL) {
    fprintf(stderr, "recent_words: out of memory\n");
    return 1;
  }
  WordRecord key;
  while (scanf("%27s%*[^ \t\r\n]", key.word) == 1) {
    key.count = 1;
    WordRecord *record = (WordRecord *)YdrCacheGet(cache, &key);
    if (record != NULL) {
      record->count += 1; /* records stay where they are until removed: change them in place */
    } else if (YdrCachePut(cache, &key) == NULL) {
      fprintf(stderr, "recent_words: out of memory\n");
      return 1;
    }
  }
  for (YDRCACHEPOS position = YdrCacheEnum(cache, 1); position != NULL;) {
    const WordRecord *record = (const WordRecord *)YdrCacheNext(cache, &position);
    printf("%d %s\n", record->count, record->word);
  }
  reporting = 0; /* deleting the cache destroys every record: no report for those */
  YdrCacheDelete(cache);
  return 0;
}
