/* A keyed cache of fixed-size records with a recency list and limits.
 *
 * The caller describes its records once (YDR_CACHE_INFO) and supplies one callback that the
 * cache calls, on the calling thread, for every record operation:
 *   op 0 hash(first = key or stored record)            -> bucket = hash % bucketCount
 *   op 1 compare(first = stored, second = key)         -> non-zero when they match
 *   op 2 initialise(first = new record storage)
 *   op 3 destroy(first = stored record), exactly once per stored record
 *   op 4 size(first = key), read as int, only when maxTotalSize is set
 *   op 5 copy(first = new record storage, second = key) -> 0: the cache copies itemSize
 *        bytes; 1: the callback filled the record; anything else: failure
 * Put stores a copy as the newest record, Add at the far end; both refuse a key already
 * present. After a store the cache evicts: one node of an over-long bucket chain (more than
 * 128 nodes, when a count or size limit is set), then the oldest records (after Put; the
 * head after Add) while the count or the total size is over its limit (the size limit never
 * below minCount records). Record pointers stay valid until the record is removed.
 *
 * No locks: calls on one cache must not overlap, and the callback must not re-enter the
 * cache. Handles and records are not checked for null (except Remove's key, where null means
 * every record). When memory runs out, the base library's error code is set to 2. */
#ifndef YDR_CACHE_H
#define YDR_CACHE_H

#include <stdint.h>

#include "ydr/api.h"

typedef unsigned int (*YDR_CACHE_FUNC)(unsigned int op, void *first, void *second, uintptr_t userData);

#define YDR_CACHE_OP_HASH 0u
#define YDR_CACHE_OP_COMPARE 1u
#define YDR_CACHE_OP_INIT 2u
#define YDR_CACHE_OP_DESTROY 3u
#define YDR_CACHE_OP_SIZE 4u
#define YDR_CACHE_OP_COPY 5u

typedef struct {
  unsigned int recordSize;  /* must be 32 (on every build) */
  unsigned int itemSize;    /* bytes per stored record (at least 4 are reserved) */
  int maxCount;             /* 0: no count limit */
  int maxTotalSize;         /* 0: no size limit (sizes are then never asked for) */
  int minCount;             /* size-driven eviction never goes below this many records */
  unsigned int bucketCount; /* 1 .. 65530 */
  uintptr_t userData;       /* passed to every callback call */
  YDR_CACHE_FUNC callback;
} YDR_CACHE_INFO;

typedef struct YdrCache *HYDRCACHE;
typedef struct YdrCacheNode *YDRCACHEPOS; /* a walk position; valid while the cache is unchanged */

typedef struct {
  unsigned int recordSize; /* set to 28 by the caller (on every build) */
  int count;
  int totalSize;
  int longestChain;
  int shortestChain; /* smallest over the non-empty buckets; 0 when all are empty */
  int emptyBuckets;
  HYDRCACHE cache;
} YDR_CACHE_STAT;

YDR_EXTERN_C_BEGIN

/* Null for a record size other than 32 or a bucket count outside 1..65530, or (error 2) when
 * memory runs out. */
YDR_API HYDRCACHE YdrCacheCreate(const YDR_CACHE_INFO *info);
/* Replaces the callback and its user value for every later call, including the destroy calls
 * of records stored under the previous callback. */
YDR_API void YdrCacheSetUserCacheFunc(HYDRCACHE cache, YDR_CACHE_FUNC callback, uintptr_t userData);
/* Store a copy of the key's record (Put as the newest, Add at the far end) and return the
 * stored record, which the eviction after the store never removes. Null, with the cache
 * unchanged, when a record with that key is already present (it stays as it was), when a size
 * limit is set and the record's size alone reaches it (unless minCount still keeps it), when
 * the copy operation fails (the new record is destroyed), or when memory runs out (error 2). */
YDR_API void *YdrCachePut(HYDRCACHE cache, const void *key);
YDR_API void *YdrCacheAdd(HYDRCACHE cache, const void *key);
/* Finds the record and makes it the newest. */
YDR_API void *YdrCacheGet(HYDRCACHE cache, const void *key);
/* Finds the record and changes nothing. */
YDR_API void *YdrCacheFind(HYDRCACHE cache, const void *key);
/* 1 when removed (always for a null key, which removes every record), 0 when not found. */
YDR_API int YdrCacheRemove(HYDRCACHE cache, const void *key);
/* Destroys every record (the destroy operation once each, in no set order) and frees the
 * cache; the handle and every record pointer are invalid afterwards. */
YDR_API void YdrCacheDelete(HYDRCACHE cache);

/* Walks: Enum(cache, 1) then Next until the position is null goes from the newest to the
 * oldest record; Enum(cache, 0) then Prev goes the other way. */
YDR_API YDRCACHEPOS YdrCacheEnum(HYDRCACHE cache, int fromHead);
YDR_API void *YdrCacheNext(HYDRCACHE cache, YDRCACHEPOS *position);
YDR_API void *YdrCachePrev(HYDRCACHE cache, YDRCACHEPOS *position);
/* bucket -1: records in the cache; otherwise nodes in that bucket (which must exist). */
YDR_API int YdrCacheGetCount(HYDRCACHE cache, int bucket);
/* 1, or 0 (nothing written) unless stat->recordSize is 28. */
YDR_API int YdrCacheGetStat(HYDRCACHE cache, YDR_CACHE_STAT *stat);
/* h = h * 33 + c over the code units, a-z folded to A-Z; "" gives 0. */
YDR_API unsigned int YdrCacheGetHashStrW(const unsigned short *text);
YDR_API unsigned int YdrCacheGetHashStrA(const char *text);

YDR_EXTERN_C_END

#ifdef __cplusplus
/* A base for record types: its members mirror the callback's hash, size, compare and copy
 * operations, with neutral results (hash 0, size 0, no match, copy left to the cache). */
class YDR_API CYdrCacheItem {
 public:
  int GetHash() const;
  int GetSize() const;
  int Compare(const CYdrCacheItem *other) const;
  int Copy(const CYdrCacheItem *other);
  CYdrCacheItem &operator=(const CYdrCacheItem &other);
};
#endif

#endif /* YDR_CACHE_H */
