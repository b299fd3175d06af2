// Walking the recency list, counts and statistics: all read-only.
#include <algorithm>
#include <cstdint>

#include "cache/cache_table.h"

using namespace ydr::cache;

extern "C" YDR_API YDRCACHEPOS YdrCacheEnum(HYDRCACHE cache, int fromHead) {
  return fromHead != 0 ? Head(cache) : Tail(cache);
}

// The walks end where the list would wrap around: after the tail going forward, after the
// head going back.
extern "C" YDR_API void *YdrCacheNext(HYDRCACHE cache, YDRCACHEPOS *position) {
  YdrCacheNode *node = *position;
  *position = node->next == &cache->sentinel ? nullptr : node->next;
  return RecordOf(node);
}

extern "C" YDR_API void *YdrCachePrev(HYDRCACHE cache, YDRCACHEPOS *position) {
  YdrCacheNode *node = *position;
  *position = node->prev == &cache->sentinel ? nullptr : node->prev;
  return RecordOf(node);
}

extern "C" YDR_API int YdrCacheGetCount(HYDRCACHE cache, int bucket) {
  return bucket == -1 ? cache->count : cache->chainCount[bucket];
}

extern "C" YDR_API int YdrCacheGetStat(HYDRCACHE cache, YDR_CACHE_STAT *stat) {
  if (stat->recordSize != kStatRecordSize) return 0;
  stat->count = cache->count;
  // The record's field has 32 bits: a larger sum reads as the largest it can hold.
  stat->totalSize = static_cast<int>(std::clamp<std::int64_t>(cache->totalSize, INT32_MIN, INT32_MAX));
  stat->cache = cache;
  stat->longestChain = stat->shortestChain = stat->emptyBuckets = 0;
  for (unsigned b = 0; b < cache->info.bucketCount; ++b) {
    const int n = cache->chainCount[b];
    if (n > stat->longestChain) stat->longestChain = n;
    // The shortest chain is taken over the buckets that hold something; the empty ones are
    // counted on their own.
    if (n != 0 && (stat->shortestChain == 0 || n < stat->shortestChain)) stat->shortestChain = n;
    if (n == 0) ++stat->emptyBuckets;
  }
  return 1;
}
