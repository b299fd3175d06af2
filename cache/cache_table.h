// The cache's table: a copy of the creation record, the accounting, the circular recency
// list and the bucket chains.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ydr/cache.h"

namespace ydr::cache {

inline constexpr unsigned kMaxBuckets = 65530;
// The size fields that callers put in the records: the records' sizes on the 32-bit builds
// where they were fixed, kept on every build.
inline constexpr unsigned kInfoRecordSize = 32;
inline constexpr unsigned kStatRecordSize = 28;
inline constexpr int kChainLimit = 128;

// Memory for tables and nodes; tests replace it to make allocations fail on demand.
using AllocateFunction = void *(*)(std::size_t size);
void SetAllocator(AllocateFunction allocate);  // null: the ordinary allocator
void *Allocate(std::size_t size);

}  // namespace ydr::cache

struct YdrCacheNode {
  YdrCacheNode *next;  // recency list (circular)
  YdrCacheNode *prev;
  YdrCacheNode *chain;  // next node of the same bucket
  std::int32_t size;    // as reported when stored; 0 without a size limit
  // The record follows, aligned for any type (see RecordOf).
};

// The recency list is circular through a sentinel that stands before the head and after the
// tail: moving a record to the front then touches only the head's neighbourhood, not the
// tail, which is usually cold in the processor's cache. Head and tail read as the documented
// list's do (the head's predecessor is the tail).
struct YdrCache {
  YDR_CACHE_INFO info;
  // The sum of the records' sizes, each a signed 32-bit number: 64 bits hold any sum of as
  // many as the count can number, where 32 would wrap after two large records (and a wrapped,
  // negative sum would never again be over the limit, so nothing would be evicted).
  std::int64_t totalSize;
  std::int32_t count;
  YdrCacheNode sentinel;  // next: the head, prev: the tail; itself when empty
  // Per bucket, in the same allocation: the first node of its chain, and the chain's length.
  // Two arrays, so that a lookup reads only the compact array of first nodes.
  YdrCacheNode **chainFirst;
  std::int32_t *chainCount;
  // Lemire's multiplier for hash modulo bucket count by two multiplications instead of a
  // division (0 where the compiler has no 128-bit product: then a division).
  std::uint64_t bucketMultiplier;
  // Nodes of removed records, kept for the next stores (a node of this cache always has the
  // same size), so that a full cache that evicts on every store does not go to the allocator.
  YdrCacheNode *spare;
  std::int32_t spareCount;
};

namespace ydr::cache {

inline constexpr std::size_t kRecordOffset =
    (sizeof(YdrCacheNode) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

inline constexpr std::int32_t kMaxSpareNodes = 32;

inline void *RecordOf(YdrCacheNode *node) { return reinterpret_cast<unsigned char *>(node) + kRecordOffset; }

inline YdrCacheNode *Head(YdrCache *c) { return c->sentinel.next == &c->sentinel ? nullptr : c->sentinel.next; }
inline YdrCacheNode *Tail(YdrCache *c) { return c->sentinel.prev == &c->sentinel ? nullptr : c->sentinel.prev; }

}  // namespace ydr::cache
