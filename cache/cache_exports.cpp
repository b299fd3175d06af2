// The cache's exports: each one call into the table (cache_table.h).
#include "cache/cache_table.h"

using ydr::cache::CacheTable;
using ydr::cache::End;
using ydr::cache::RecordOf;

extern "C" YDR_API HYDRCACHE YdrCacheCreate(const YDR_CACHE_INFO *info) { return CacheTable::Create(*info); }

extern "C" YDR_API void YdrCacheSetUserCacheFunc(HYDRCACHE cache, YDR_CACHE_FUNC callback, uintptr_t userData) {
  cache->SetCallback(callback, userData);
}

extern "C" YDR_API void *YdrCachePut(HYDRCACHE cache, const void *key) { return cache->Store(key, End::kNewest); }

extern "C" YDR_API void *YdrCacheAdd(HYDRCACHE cache, const void *key) { return cache->Store(key, End::kFarEnd); }

extern "C" YDR_API void *YdrCacheGet(HYDRCACHE cache, const void *key) { return cache->Get(key); }

extern "C" YDR_API void *YdrCacheFind(HYDRCACHE cache, const void *key) { return cache->Find(key); }

// A null key removes every record.
extern "C" YDR_API int YdrCacheRemove(HYDRCACHE cache, const void *key) {
  if (key == nullptr) {
    cache->RemoveAll();
    return 1;
  }
  return cache->Remove(key) ? 1 : 0;
}

extern "C" YDR_API void YdrCacheDelete(HYDRCACHE cache) { CacheTable::Destroy(cache); }

extern "C" YDR_API YDRCACHEPOS YdrCacheEnum(HYDRCACHE cache, int fromHead) {
  return fromHead != 0 ? cache->Head() : cache->Tail();
}

// The walks end where the list would wrap around: after the tail going forward, after the
// head going back.
extern "C" YDR_API void *YdrCacheNext(HYDRCACHE cache, YDRCACHEPOS *position) {
  YdrCacheNode *node = *position;
  *position = cache->After(node);
  return RecordOf(node);
}

extern "C" YDR_API void *YdrCachePrev(HYDRCACHE cache, YDRCACHEPOS *position) {
  YdrCacheNode *node = *position;
  *position = cache->Before(node);
  return RecordOf(node);
}

extern "C" YDR_API int YdrCacheGetCount(HYDRCACHE cache, int bucket) { return cache->Count(bucket); }

extern "C" YDR_API int YdrCacheGetStat(HYDRCACHE cache, YDR_CACHE_STAT *stat) {
  if (stat->recordSize != ydr::cache::kStatRecordSize) return 0;
  cache->Statistics(stat);
  stat->cache = cache;
  return 1;
}
