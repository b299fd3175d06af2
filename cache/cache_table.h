// The cache's table: a copy of the creation record, the accounting, the circular recency
// list and the bucket chains. The exports (cache_exports.cpp) are thin calls into it.
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
inline constexpr std::int32_t kMaxSpareNodes = 32;

// Memory for tables and nodes; tests replace it to make allocations fail on demand.
using AllocateFunction = void *(*)(std::size_t size);
void SetAllocator(AllocateFunction allocate);  // null: the ordinary allocator
void *Allocate(std::size_t size);

}  // namespace ydr::cache

// A stored record's node; the record follows it, aligned for any type (see RecordOf).
struct YdrCacheNode {
  YdrCacheNode *next;  // recency list (circular)
  YdrCacheNode *prev;
  YdrCacheNode *chain;  // next node of the same bucket
  std::int32_t size;    // as reported when stored; 0 without a size limit
};

namespace ydr::cache {

inline constexpr std::size_t kRecordOffset =
    (sizeof(YdrCacheNode) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

inline void *RecordOf(YdrCacheNode *node) { return reinterpret_cast<unsigned char *>(node) + kRecordOffset; }

// Where Put and Add place a new record in the recency list.
enum class End { kNewest, kFarEnd };

// The recency list is circular through a sentinel that stands before the head and after the
// tail: moving a record to the front then touches only the head's neighbourhood, not the
// tail, which is usually cold in the processor's cache. Head and tail read as the documented
// list's do (the head's predecessor is the tail).
//
// A table and its bucket arrays are one allocation (Create, Destroy), so it has no public
// constructor.
class CacheTable {
 public:
  // Null for a bad record size or bucket count, or (base library error 2) without memory.
  static YdrCache *Create(const YDR_CACHE_INFO &info);
  static void Destroy(YdrCache *table);

  void SetCallback(YDR_CACHE_FUNC callback, std::uintptr_t user_data);
  // The new record, or null: the key is present, the record is too large, the callback's
  // copy failed, or memory ran out.
  void *Store(const void *key, End end);
  void *Get(const void *key);   // and makes it the newest
  void *Find(const void *key);  // leaves the order alone
  bool Remove(const void *key);
  void RemoveAll();

  YdrCacheNode *Head() { return sentinel_.next == &sentinel_ ? nullptr : sentinel_.next; }
  YdrCacheNode *Tail() { return sentinel_.prev == &sentinel_ ? nullptr : sentinel_.prev; }
  // The node after (toward the tail) or before a node; null past either end.
  YdrCacheNode *After(YdrCacheNode *node) { return node->next == &sentinel_ ? nullptr : node->next; }
  YdrCacheNode *Before(YdrCacheNode *node) { return node->prev == &sentinel_ ? nullptr : node->prev; }
  int Count(int bucket) const { return bucket == -1 ? count_ : chain_count_[bucket]; }
  void Statistics(YDR_CACHE_STAT *stat) const;

 protected:
  CacheTable() = default;

 private:
  unsigned Call(unsigned op, void *first, const void *second) const {
    return info_.callback(op, first, const_cast<void *>(second), info_.userData);
  }
  unsigned BucketOf(const void *record) const;
  YdrCacheNode *Lookup(const void *key, unsigned *bucket, YdrCacheNode ***link = nullptr);
  YdrCacheNode *NewNode(std::size_t bytes);
  void FreeNode(YdrCacheNode *node);
  void FreeSpareNodes();
  void UnlinkFromChain(YdrCacheNode *node, unsigned bucket);
  void Insert(YdrCacheNode *node, bool front);
  void RemoveNode(YdrCacheNode *node, unsigned bucket, YdrCacheNode **link = nullptr);
  bool LimitsConfigured() const { return info_.maxCount != 0 || info_.maxTotalSize != 0; }
  bool OverGlobalLimits() const;
  void Evict(YdrCacheNode *stored, unsigned bucket, End end);

  YDR_CACHE_INFO info_;
  // The sum of the records' sizes, each a signed 32-bit number: 64 bits hold any sum of as
  // many as the count can number, where 32 would wrap after two large records (and a wrapped,
  // negative sum would never again be over the limit, so nothing would be evicted).
  std::int64_t total_size_ = 0;
  std::int32_t count_ = 0;
  YdrCacheNode sentinel_;  // next: the head, prev: the tail; itself when empty
  // Per bucket, in the same allocation: the first node of its chain, and the chain's length.
  // Two arrays, so that a lookup reads only the compact array of first nodes.
  YdrCacheNode **chain_first_ = nullptr;
  std::int32_t *chain_count_ = nullptr;
  // Lemire's multiplier for hash modulo bucket count by two multiplications instead of a
  // division (where the compiler has no 128-bit product: a division).
  std::uint64_t bucket_multiplier_ = 0;
  // Nodes of removed records, kept for the next stores (a node of this cache always has the
  // same size), so that a full cache that evicts on every store does not go to the allocator.
  YdrCacheNode *spare_ = nullptr;
  std::int32_t spare_count_ = 0;
};

}  // namespace ydr::cache

// The handle the interface hands out is the table.
struct YdrCache final : ydr::cache::CacheTable {};
