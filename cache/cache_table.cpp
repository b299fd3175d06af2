// Creating the cache, storing, finding and removing records, and eviction.
#include "cache/cache_table.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/base_services.h"

namespace ydr::cache {
namespace {

std::atomic<AllocateFunction> g_allocate{nullptr};

constexpr unsigned kErrorOutOfMemory = 2;

enum class End { kNewest, kFarEnd };  // Put and Add

unsigned Call(YdrCache *c, unsigned op, void *first, const void *second) {
  return c->info.callback(op, first, const_cast<void *>(second), c->info.userData);
}

unsigned BucketOf(YdrCache *c, const void *record) {
  const unsigned hash = Call(c, YDR_CACHE_OP_HASH, const_cast<void *>(record), nullptr);
#if defined(__SIZEOF_INT128__)
  __extension__ using Product = unsigned __int128;
  const std::uint64_t low = c->bucketMultiplier * hash;
  return static_cast<unsigned>((static_cast<Product>(low) * c->info.bucketCount) >> 64);
#else
  return hash % c->info.bucketCount;
#endif
}

// A node for a new record: a spare one, or a new allocation.
YdrCacheNode *NewNode(YdrCache *c, std::size_t bytes) {
  if (YdrCacheNode *node = c->spare) {
    c->spare = node->chain;
    c->spareCount -= 1;
    return node;
  }
  return static_cast<YdrCacheNode *>(Allocate(bytes));
}

void FreeNode(YdrCache *c, YdrCacheNode *node) {
  if (c->spareCount < kMaxSpareNodes) {
    node->chain = c->spare;
    c->spare = node;
    c->spareCount += 1;
    return;
  }
  std::free(node);
}

void FreeSpareNodes(YdrCache *c) {
  while (YdrCacheNode *node = c->spare) {
    c->spare = node->chain;
    std::free(node);
  }
  c->spareCount = 0;
}

// The matching node, or null; *link is then the chain pointer that points at it, so that it
// can be unlinked without walking the chain again.
inline __attribute__((always_inline)) YdrCacheNode *Lookup(YdrCache *c, const void *key, unsigned *bucket,
                                                           YdrCacheNode ***link = nullptr) {
  *bucket = BucketOf(c, key);
  for (YdrCacheNode **at = &c->chainFirst[*bucket]; *at != nullptr; at = &(*at)->chain) {
    if (Call(c, YDR_CACHE_OP_COMPARE, RecordOf(*at), key) != 0) {
      if (link != nullptr) *link = at;
      return *at;
    }
  }
  return nullptr;
}

void UnlinkAt(YdrCacheNode **link) {
  YdrCacheNode *node = *link;
  *link = node->chain;
  node->chain = nullptr;
}

void UnlinkFromChain(YdrCache *c, YdrCacheNode *node, unsigned bucket) {
  YdrCacheNode **link = &c->chainFirst[bucket];
  while (*link != node) link = &(*link)->chain;
  UnlinkAt(link);
}

void UnlinkFromList(YdrCacheNode *node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->next = node->prev = node;
}

// Between the tail and the head: as the new head (front) or as the new tail.
void Insert(YdrCache *c, YdrCacheNode *node, bool front) {
  YdrCacheNode *before = front ? &c->sentinel : c->sentinel.prev;
  node->prev = before;
  node->next = before->next;
  before->next->prev = node;
  before->next = node;
}

void RemoveNode(YdrCache *c, YdrCacheNode *node, unsigned bucket, YdrCacheNode **link = nullptr) {
  if (link != nullptr) {
    UnlinkAt(link);
  } else {
    UnlinkFromChain(c, node, bucket);
  }
  UnlinkFromList(node);
  c->totalSize -= node->size;
  c->count -= 1;
  c->chainCount[bucket] -= 1;
  Call(c, YDR_CACHE_OP_DESTROY, RecordOf(node), nullptr);
  FreeNode(c, node);
}

bool LimitsConfigured(const YdrCache *c) { return c->info.maxCount != 0 || c->info.maxTotalSize != 0; }

bool OverGlobalLimits(const YdrCache *c) {
  const YDR_CACHE_INFO &i = c->info;
  return (i.maxTotalSize != 0 && c->totalSize > i.maxTotalSize && c->count > i.minCount) ||
         (i.maxCount != 0 && c->count > i.maxCount);
}

void Evict(YdrCache *c, YdrCacheNode *stored, unsigned bucket, End end) {
  // An over-long chain gives up one node: its oldest end (the last after Put, the first after
  // Add, the new node being at the other end).
  if (LimitsConfigured(c) && c->chainCount[bucket] > kChainLimit && c->count > c->info.minCount) {
    YdrCacheNode *victim = c->chainFirst[bucket];
    if (end == End::kNewest) {
      while (victim->chain != nullptr) victim = victim->chain;
    }
    RemoveNode(c, victim, bucket);
  }
  while (OverGlobalLimits(c)) {
    YdrCacheNode *victim = end == End::kNewest ? Tail(c) : Head(c);
    if (victim == stored) break;
    RemoveNode(c, victim, BucketOf(c, RecordOf(victim)));
  }
}

void *Store(YdrCache *c, const void *key, End end) {
  // A full cache evicts its tail after a Put: start bringing that node in while the key is
  // looked up.
  if (end == End::kNewest && c->info.maxCount != 0 && c->count >= c->info.maxCount) {
    __builtin_prefetch(c->sentinel.prev);
  }
  unsigned bucket;
  if (Lookup(c, key, &bucket) != nullptr) return nullptr;
  std::int32_t size = 0;
  if (c->info.maxTotalSize != 0) {
    size = static_cast<std::int32_t>(Call(c, YDR_CACHE_OP_SIZE, const_cast<void *>(key), nullptr));
    // A record as large as the limit is refused unless the minimum count keeps it anyway.
    if (size >= c->info.maxTotalSize && c->count + 1 > c->info.minCount) return nullptr;
  }
  const std::size_t item = c->info.itemSize < 4 ? 4 : c->info.itemSize;
  YdrCacheNode *node = NewNode(c, kRecordOffset + item);
  if (node == nullptr) {
    bl::YdrSetError(kErrorOutOfMemory);
    return nullptr;
  }
  node->next = node->prev = node;
  node->chain = nullptr;
  node->size = size;
  void *record = RecordOf(node);
  Call(c, YDR_CACHE_OP_INIT, record, nullptr);
  const unsigned copied = Call(c, YDR_CACHE_OP_COPY, record, key);
  if (copied == 0) {
    std::memcpy(record, key, c->info.itemSize);
  } else if (copied != 1) {
    Call(c, YDR_CACHE_OP_DESTROY, record, nullptr);
    FreeNode(c, node);
    return nullptr;
  }
  c->totalSize += size;
  c->count += 1;
  c->chainCount[bucket] += 1;
  YdrCacheNode *&first = c->chainFirst[bucket];
  if (end == End::kNewest || first == nullptr) {
    node->chain = first;
    first = node;
  } else {
    YdrCacheNode *last = first;
    while (last->chain != nullptr) last = last->chain;
    last->chain = node;
  }
  Insert(c, node, end == End::kNewest);
  Evict(c, node, bucket, end);
  return record;
}

void RemoveAll(YdrCache *c) {
  for (unsigned b = 0; b < c->info.bucketCount; ++b) {
    for (YdrCacheNode *node = c->chainFirst[b]; node != nullptr;) {
      YdrCacheNode *following = node->chain;
      Call(c, YDR_CACHE_OP_DESTROY, RecordOf(node), nullptr);
      std::free(node);
      node = following;
    }
    c->chainFirst[b] = nullptr;
    c->chainCount[b] = 0;
  }
  c->totalSize = 0;
  c->count = 0;
  c->sentinel.next = c->sentinel.prev = &c->sentinel;
  FreeSpareNodes(c);
}

}  // namespace

void SetAllocator(AllocateFunction allocate) { g_allocate.store(allocate); }

void *Allocate(std::size_t size) {
  const AllocateFunction allocate = g_allocate.load(std::memory_order_relaxed);
  return allocate != nullptr ? allocate(size) : std::malloc(size);
}

}  // namespace ydr::cache

using namespace ydr::cache;

extern "C" YDR_API HYDRCACHE YdrCacheCreate(const YDR_CACHE_INFO *info) {
  if (info->recordSize != kInfoRecordSize || info->bucketCount == 0 || info->bucketCount > kMaxBuckets) {
    return nullptr;
  }
  // The table and its buckets in one zeroed block.
  const std::size_t header =
      (sizeof(YdrCache) + alignof(YdrCacheNode *) - 1) / alignof(YdrCacheNode *) * alignof(YdrCacheNode *);
  const std::size_t firsts =
      sizeof(YdrCacheNode *) * info->bucketCount;  // NOLINT(bugprone-sizeof-expression): an array of pointers
  const std::size_t bytes = header + firsts + sizeof(std::int32_t) * info->bucketCount;
  void *block = Allocate(bytes);
  if (block == nullptr) {
    ydr::bl::YdrSetError(kErrorOutOfMemory);
    return nullptr;
  }
  std::memset(block, 0, bytes);
  auto *cache = static_cast<YdrCache *>(block);
  cache->info = *info;
  cache->chainFirst = reinterpret_cast<YdrCacheNode **>(static_cast<unsigned char *>(block) + header);
  cache->chainCount = reinterpret_cast<std::int32_t *>(static_cast<unsigned char *>(block) + header + firsts);
  cache->sentinel.next = cache->sentinel.prev = &cache->sentinel;
  cache->bucketMultiplier = UINT64_MAX / info->bucketCount + 1;
  return cache;
}

extern "C" YDR_API void YdrCacheSetUserCacheFunc(HYDRCACHE cache, YDR_CACHE_FUNC callback, uintptr_t userData) {
  cache->info.userData = userData;
  cache->info.callback = callback;
}

extern "C" YDR_API void *YdrCachePut(HYDRCACHE cache, const void *key) { return Store(cache, key, End::kNewest); }

extern "C" YDR_API void *YdrCacheAdd(HYDRCACHE cache, const void *key) { return Store(cache, key, End::kFarEnd); }

extern "C" YDR_API void *YdrCacheGet(HYDRCACHE cache, const void *key) {
  unsigned bucket;
  YdrCacheNode **link = nullptr;
  YdrCacheNode *node = Lookup(cache, key, &bucket, &link);
  if (node == nullptr) return nullptr;
  if (node != Head(cache)) {
    // First in its chain too, so that the records used most are found soonest.
    UnlinkAt(link);
    UnlinkFromList(node);
    node->chain = cache->chainFirst[bucket];
    cache->chainFirst[bucket] = node;
    Insert(cache, node, true);
  }
  return RecordOf(node);
}

extern "C" YDR_API void *YdrCacheFind(HYDRCACHE cache, const void *key) {
  unsigned bucket;
  YdrCacheNode *node = Lookup(cache, key, &bucket);
  return node != nullptr ? RecordOf(node) : nullptr;
}

extern "C" YDR_API int YdrCacheRemove(HYDRCACHE cache, const void *key) {
  if (key == nullptr) {
    RemoveAll(cache);
    return 1;
  }
  unsigned bucket;
  YdrCacheNode **link = nullptr;
  YdrCacheNode *node = Lookup(cache, key, &bucket, &link);
  if (node == nullptr) return 0;
  RemoveNode(cache, node, bucket, link);
  return 1;
}

extern "C" YDR_API void YdrCacheDelete(HYDRCACHE cache) {
  RemoveAll(cache);
  std::free(cache);
}
