// Creating the table, storing, finding and removing records, and eviction.
#include "cache/cache_table.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imports/base_services.h"

namespace ydr::cache {
namespace {

std::atomic<AllocateFunction> g_allocate{nullptr};

constexpr unsigned kErrorOutOfMemory = 2;

void UnlinkAt(YdrCacheNode **link) {
  YdrCacheNode *node = *link;
  *link = node->chain;
  node->chain = nullptr;
}

void UnlinkFromList(YdrCacheNode *node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->next = node->prev = node;
}

}  // namespace

void SetAllocator(AllocateFunction allocate) { g_allocate.store(allocate); }

void *Allocate(std::size_t size) {
  const AllocateFunction allocate = g_allocate.load(std::memory_order_relaxed);
  return allocate != nullptr ? allocate(size) : std::malloc(size);
}

YdrCache *CacheTable::Create(const YDR_CACHE_INFO &info) {
  if (info.recordSize != kInfoRecordSize || info.bucketCount == 0 || info.bucketCount > kMaxBuckets) return nullptr;
  // The table and its buckets in one block, the buckets zeroed.
  const std::size_t header =
      (sizeof(YdrCache) + alignof(YdrCacheNode *) - 1) / alignof(YdrCacheNode *) * alignof(YdrCacheNode *);
  const std::size_t firsts =
      sizeof(YdrCacheNode *) * info.bucketCount;  // NOLINT(bugprone-sizeof-expression): an array of pointers
  const std::size_t bytes = header + firsts + sizeof(std::int32_t) * info.bucketCount;
  void *block = Allocate(bytes);
  if (block == nullptr) {
    bl::YdrSetError(kErrorOutOfMemory);
    return nullptr;
  }
  std::memset(block, 0, bytes);
  auto *table = new (block) YdrCache();
  table->info_ = info;
  table->chain_first_ = reinterpret_cast<YdrCacheNode **>(static_cast<unsigned char *>(block) + header);
  table->chain_count_ = reinterpret_cast<std::int32_t *>(static_cast<unsigned char *>(block) + header + firsts);
  table->sentinel_.next = table->sentinel_.prev = &table->sentinel_;
  table->bucket_multiplier_ = UINT64_MAX / info.bucketCount + 1;
  return table;
}

void CacheTable::Destroy(YdrCache *table) {
  table->RemoveAll();
  table->~YdrCache();
  std::free(table);
}

void CacheTable::SetCallback(YDR_CACHE_FUNC callback, std::uintptr_t user_data) {
  info_.userData = user_data;
  info_.callback = callback;
}

unsigned CacheTable::BucketOf(const void *record) const {
  const unsigned hash = Call(YDR_CACHE_OP_HASH, const_cast<void *>(record), nullptr);
#if defined(__SIZEOF_INT128__)
  __extension__ using Product = unsigned __int128;
  const std::uint64_t low = bucket_multiplier_ * hash;
  return static_cast<unsigned>((static_cast<Product>(low) * info_.bucketCount) >> 64);
#else
  return hash % info_.bucketCount;
#endif
}

// The matching node, or null; *link is then the chain pointer that points at it, so that it
// can be unlinked without walking the chain again.
inline __attribute__((always_inline)) YdrCacheNode *CacheTable::Lookup(const void *key, unsigned *bucket,
                                                                       YdrCacheNode ***link) {
  *bucket = BucketOf(key);
  for (YdrCacheNode **at = &chain_first_[*bucket]; *at != nullptr; at = &(*at)->chain) {
    if (Call(YDR_CACHE_OP_COMPARE, RecordOf(*at), key) != 0) {
      if (link != nullptr) *link = at;
      return *at;
    }
  }
  return nullptr;
}

// A node for a new record: a spare one, or a new allocation.
YdrCacheNode *CacheTable::NewNode(std::size_t bytes) {
  if (YdrCacheNode *node = spare_) {
    spare_ = node->chain;
    spare_count_ -= 1;
    return node;
  }
  return static_cast<YdrCacheNode *>(Allocate(bytes));
}

void CacheTable::FreeNode(YdrCacheNode *node) {
  if (spare_count_ < kMaxSpareNodes) {
    node->chain = spare_;
    spare_ = node;
    spare_count_ += 1;
    return;
  }
  std::free(node);
}

void CacheTable::FreeSpareNodes() {
  while (YdrCacheNode *node = spare_) {
    spare_ = node->chain;
    std::free(node);
  }
  spare_count_ = 0;
}

void CacheTable::UnlinkFromChain(YdrCacheNode *node, unsigned bucket) {
  YdrCacheNode **link = &chain_first_[bucket];
  while (*link != node) link = &(*link)->chain;
  UnlinkAt(link);
}

// Between the tail and the head: as the new head (front) or as the new tail.
void CacheTable::Insert(YdrCacheNode *node, bool front) {
  YdrCacheNode *before = front ? &sentinel_ : sentinel_.prev;
  node->prev = before;
  node->next = before->next;
  before->next->prev = node;
  before->next = node;
}

void CacheTable::RemoveNode(YdrCacheNode *node, unsigned bucket, YdrCacheNode **link) {
  if (link != nullptr) {
    UnlinkAt(link);
  } else {
    UnlinkFromChain(node, bucket);
  }
  UnlinkFromList(node);
  total_size_ -= node->size;
  count_ -= 1;
  chain_count_[bucket] -= 1;
  Call(YDR_CACHE_OP_DESTROY, RecordOf(node), nullptr);
  FreeNode(node);
}

bool CacheTable::OverGlobalLimits() const {
  return (info_.maxTotalSize != 0 && total_size_ > info_.maxTotalSize && count_ > info_.minCount) ||
         (info_.maxCount != 0 && count_ > info_.maxCount);
}

void CacheTable::Evict(YdrCacheNode *stored, unsigned bucket, End end) {
  // An over-long chain gives up one node: its oldest end (the last after Put, the first after
  // Add, the new node being at the other end).
  if (LimitsConfigured() && chain_count_[bucket] > kChainLimit && count_ > info_.minCount) {
    YdrCacheNode *victim = chain_first_[bucket];
    if (end == End::kNewest) {
      while (victim->chain != nullptr) victim = victim->chain;
    }
    RemoveNode(victim, bucket);
  }
  while (OverGlobalLimits()) {
    YdrCacheNode *victim = end == End::kNewest ? Tail() : Head();
    if (victim == stored) break;
    RemoveNode(victim, BucketOf(RecordOf(victim)));
  }
}

void *CacheTable::Store(const void *key, End end) {
  // A full cache evicts its tail after a Put: start bringing that node in while the key is
  // looked up.
  if (end == End::kNewest && info_.maxCount != 0 && count_ >= info_.maxCount) __builtin_prefetch(sentinel_.prev);
  unsigned bucket;
  if (Lookup(key, &bucket) != nullptr) return nullptr;
  std::int32_t size = 0;
  if (info_.maxTotalSize != 0) {
    size = static_cast<std::int32_t>(Call(YDR_CACHE_OP_SIZE, const_cast<void *>(key), nullptr));
    // A record as large as the limit is refused unless the minimum count keeps it anyway.
    if (size >= info_.maxTotalSize && count_ + 1 > info_.minCount) return nullptr;
  }
  const std::size_t item = info_.itemSize < 4 ? 4 : info_.itemSize;
  YdrCacheNode *node = NewNode(kRecordOffset + item);
  if (node == nullptr) {
    bl::YdrSetError(kErrorOutOfMemory);
    return nullptr;
  }
  node->next = node->prev = node;
  node->chain = nullptr;
  node->size = size;
  void *record = RecordOf(node);
  Call(YDR_CACHE_OP_INIT, record, nullptr);
  const unsigned copied = Call(YDR_CACHE_OP_COPY, record, key);
  if (copied == 0) {
    std::memcpy(record, key, info_.itemSize);
  } else if (copied != 1) {
    Call(YDR_CACHE_OP_DESTROY, record, nullptr);
    FreeNode(node);
    return nullptr;
  }
  total_size_ += size;
  count_ += 1;
  chain_count_[bucket] += 1;
  YdrCacheNode *&first = chain_first_[bucket];
  if (end == End::kNewest || first == nullptr) {
    node->chain = first;
    first = node;
  } else {
    YdrCacheNode *last = first;
    while (last->chain != nullptr) last = last->chain;
    last->chain = node;
  }
  Insert(node, end == End::kNewest);
  Evict(node, bucket, end);
  return record;
}

void *CacheTable::Get(const void *key) {
  unsigned bucket;
  YdrCacheNode **link = nullptr;
  YdrCacheNode *node = Lookup(key, &bucket, &link);
  if (node == nullptr) return nullptr;
  if (node != Head()) {
    // First in its chain too, so that the records used most are found soonest.
    UnlinkAt(link);
    UnlinkFromList(node);
    node->chain = chain_first_[bucket];
    chain_first_[bucket] = node;
    Insert(node, true);
  }
  return RecordOf(node);
}

void *CacheTable::Find(const void *key) {
  unsigned bucket;
  YdrCacheNode *node = Lookup(key, &bucket);
  return node != nullptr ? RecordOf(node) : nullptr;
}

bool CacheTable::Remove(const void *key) {
  unsigned bucket;
  YdrCacheNode **link = nullptr;
  YdrCacheNode *node = Lookup(key, &bucket, &link);
  if (node == nullptr) return false;
  RemoveNode(node, bucket, link);
  return true;
}

void CacheTable::RemoveAll() {
  for (unsigned b = 0; b < info_.bucketCount; ++b) {
    for (YdrCacheNode *node = chain_first_[b]; node != nullptr;) {
      YdrCacheNode *following = node->chain;
      Call(YDR_CACHE_OP_DESTROY, RecordOf(node), nullptr);
      std::free(node);
      node = following;
    }
    chain_first_[b] = nullptr;
    chain_count_[b] = 0;
  }
  total_size_ = 0;
  count_ = 0;
  sentinel_.next = sentinel_.prev = &sentinel_;
  FreeSpareNodes();
}

void CacheTable::Statistics(YDR_CACHE_STAT *stat) const {
  stat->count = count_;
  // The record's field has 32 bits: a larger sum reads as the largest it can hold.
  stat->totalSize = static_cast<int>(std::clamp<std::int64_t>(total_size_, INT32_MIN, INT32_MAX));
  stat->longestChain = stat->shortestChain = stat->emptyBuckets = 0;
  for (unsigned b = 0; b < info_.bucketCount; ++b) {
    const int n = chain_count_[b];
    if (n > stat->longestChain) stat->longestChain = n;
    // The shortest chain is taken over the buckets that hold something; the empty ones are
    // counted on their own.
    if (n != 0 && (stat->shortestChain == 0 || n < stat->shortestChain)) stat->shortestChain = n;
    if (n == 0) ++stat->emptyBuckets;
  }
}

}  // namespace ydr::cache
