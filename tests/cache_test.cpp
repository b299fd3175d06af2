// The object cache against a small model written here (a recency list and per-bucket chains
// kept as plain vectors), over long random operation sequences in several configurations;
// plus the cases the model alone would not reach, and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "base/ydr_base.h"
#include "cache/cache_table.h"
#include "ydr/cache.h"

namespace {

struct Record {
  unsigned key;
  int size;
  unsigned char payload[24];
};

// The callback's view of the world: which records are alive, and what it was asked.
struct Callbacks {
  std::set<const void *> alive;
  int destroyed_twice = 0;
  unsigned copy_result_for_multiple_of = 0;  // keys that are multiples get this copy result...
  unsigned copy_result = 0;                  // ...(0 = cache copies, 1 = callback copies, 2 = fail)
  std::vector<unsigned> ops;
  bool record_ops = false;
};

unsigned Callback(unsigned op, void *first, void *second, uintptr_t user) {
  Callbacks &cb = *reinterpret_cast<Callbacks *>(user);
  if (cb.record_ops) cb.ops.push_back(op);
  const Record *a = static_cast<const Record *>(first);
  const Record *b = static_cast<const Record *>(second);
  switch (op) {
    case YDR_CACHE_OP_HASH: return a->key * 2654435761u;
    case YDR_CACHE_OP_COMPARE: return a->key == b->key;
    case YDR_CACHE_OP_INIT: cb.alive.insert(first); return 0;
    case YDR_CACHE_OP_DESTROY:
      if (cb.alive.erase(first) != 1) ++cb.destroyed_twice;
      return 0;
    case YDR_CACHE_OP_SIZE: return static_cast<unsigned>(a->size);
    case YDR_CACHE_OP_COPY: {
      const unsigned result =
          cb.copy_result_for_multiple_of != 0 && b->key % cb.copy_result_for_multiple_of == 0 ? cb.copy_result : 0;
      if (result == 1) std::memcpy(first, second, sizeof(Record));
      return result;
    }
  }
  return 0;
}

struct Config {
  int max_count, max_total, min_count;
  unsigned buckets;
  unsigned copy_every, copy_result;
  unsigned key_space;
  int size_unit = 1;  // records are 1 to 90 of these
};

// The model: the same rules, in other data structures.
class Model {
 public:
  explicit Model(const Config &c) : c_(c), chains_(c.buckets) {}

  bool Store(const Record &r, bool put, Callbacks &cb) {
    if (records_.count(r.key) != 0) return false;
    if (c_.max_total != 0 && r.size >= c_.max_total && count() + 1 > c_.min_count) return false;
    if (cb.copy_result_for_multiple_of != 0 && r.key % cb.copy_result_for_multiple_of == 0 && cb.copy_result > 1) {
      return false;
    }
    const int size = c_.max_total != 0 ? r.size : 0;
    records_[r.key] = {r, size};
    total_ += size;
    auto &chain = chains_[Bucket(r.key)];
    if (put) {
      chain.insert(chain.begin(), r.key);
      order_.insert(order_.begin(), r.key);
    } else {
      chain.push_back(r.key);
      order_.push_back(r.key);
    }
    if ((c_.max_count != 0 || c_.max_total != 0) && chain.size() > 128 && count() > c_.min_count) {
      Erase(put ? chain.back() : chain.front());
    }
    while ((c_.max_total != 0 && total_ > c_.max_total && count() > c_.min_count) ||
           (c_.max_count != 0 && count() > c_.max_count)) {
      const unsigned victim = put ? order_.back() : order_.front();
      if (victim == r.key) break;
      Erase(victim);
    }
    return true;
  }

  const Record *Find(unsigned key) const {
    auto it = records_.find(key);
    return it == records_.end() ? nullptr : &it->second.first;
  }

  void Get(unsigned key) {
    if (records_.count(key) == 0 || order_.front() == key) return;
    order_.erase(std::find(order_.begin(), order_.end(), key));
    order_.insert(order_.begin(), key);
    auto &chain = chains_[Bucket(key)];
    chain.erase(std::find(chain.begin(), chain.end(), key));
    chain.insert(chain.begin(), key);
  }

  bool Remove(unsigned key) {
    if (records_.count(key) == 0) return false;
    Erase(key);
    return true;
  }

  void Clear() {
    records_.clear();
    order_.clear();
    for (auto &chain : chains_) chain.clear();
    total_ = 0;
  }

  int count() const { return static_cast<int>(records_.size()); }
  std::int64_t total() const { return total_; }
  const std::vector<unsigned> &order() const { return order_; }
  const std::vector<std::vector<unsigned>> &chains() const { return chains_; }

 private:
  unsigned Bucket(unsigned key) const { return key * 2654435761u % c_.buckets; }
  void Erase(unsigned key) {
    total_ -= records_[key].second;
    records_.erase(key);
    order_.erase(std::find(order_.begin(), order_.end(), key));
    auto &chain = chains_[Bucket(key)];
    chain.erase(std::find(chain.begin(), chain.end(), key));
  }

  Config c_;
  std::map<unsigned, std::pair<Record, int>> records_;
  std::vector<unsigned> order_;  // head first
  std::vector<std::vector<unsigned>> chains_;
  std::int64_t total_ = 0;
};

// The statistics record's 32-bit total: the sum, or the nearest value the field can hold.
int StatTotal(std::int64_t total) { return static_cast<int>(std::clamp<std::int64_t>(total, INT32_MIN, INT32_MAX)); }

HYDRCACHE Create(const Config &c, Callbacks *cb) {
  YDR_CACHE_INFO info{
      32, sizeof(Record), c.max_count, c.max_total, c.min_count, c.buckets, reinterpret_cast<uintptr_t>(cb), Callback};
  return YdrCacheCreate(&info);
}

Record Make(unsigned key, int size) {
  Record r{key, size, {}};
  std::memset(r.payload, static_cast<int>(key & 0xFF), sizeof r.payload);
  return r;
}

void ExpectSameState(HYDRCACHE cache, const Model &model, const Config &c) {
  std::vector<unsigned> forward, backward;
  for (YDRCACHEPOS pos = YdrCacheEnum(cache, 1); pos != nullptr;)
    forward.push_back(static_cast<Record *>(YdrCacheNext(cache, &pos))->key);
  for (YDRCACHEPOS pos = YdrCacheEnum(cache, 0); pos != nullptr;)
    backward.push_back(static_cast<Record *>(YdrCachePrev(cache, &pos))->key);
  ASSERT_EQ(forward, model.order());
  std::reverse(backward.begin(), backward.end());
  ASSERT_EQ(backward, model.order());
  ASSERT_EQ(YdrCacheGetCount(cache, -1), model.count());
  YDR_CACHE_STAT stat{};
  stat.recordSize = 28;
  ASSERT_EQ(YdrCacheGetStat(cache, &stat), 1);
  EXPECT_EQ(stat.count, model.count());
  EXPECT_EQ(stat.totalSize, StatTotal(model.total()));
  EXPECT_EQ(stat.cache, cache);
  int longest = 0, shortest = 0, empty = 0;
  for (unsigned b = 0; b < c.buckets; ++b) {
    const int n = static_cast<int>(model.chains()[b].size());
    ASSERT_EQ(YdrCacheGetCount(cache, static_cast<int>(b)), n) << b;
    longest = std::max(longest, n);
    if (n != 0 && (shortest == 0 || n < shortest)) shortest = n;
    empty += n == 0;
  }
  EXPECT_EQ(stat.longestChain, longest);
  EXPECT_EQ(stat.shortestChain, shortest);
  EXPECT_EQ(stat.emptyBuckets, empty);
}

class CacheModelTest : public ::testing::TestWithParam<Config> {};

TEST_P(CacheModelTest, LongRandomSequencesMatchTheModel) {
  const Config c = GetParam();
  Callbacks cb;
  cb.copy_result_for_multiple_of = c.copy_every;
  cb.copy_result = c.copy_result;
  HYDRCACHE cache = Create(c, &cb);
  ASSERT_NE(cache, nullptr);
  Model model(c);
  std::mt19937 rng(c.buckets * 7 + static_cast<unsigned>(c.max_count));
  for (int step = 0; step < 6000; ++step) {
    const unsigned key = rng() % c.key_space;
    const Record r = Make(key, (static_cast<int>(rng() % 90) + 1) * c.size_unit);
    switch (rng() % 10) {
      case 0:
      case 1:
      case 2: {
        void *stored = YdrCachePut(cache, &r);
        ASSERT_EQ(stored != nullptr, model.Store(r, true, cb)) << step;
        break;
      }
      case 3:
      case 4: {
        void *stored = YdrCacheAdd(cache, &r);
        ASSERT_EQ(stored != nullptr, model.Store(r, false, cb)) << step;
        break;
      }
      case 5:
      case 6: {
        const Record *found = static_cast<const Record *>(YdrCacheGet(cache, &r));
        const Record *expected = model.Find(key);
        ASSERT_EQ(found != nullptr, expected != nullptr) << step;
        if (found != nullptr) {
          ASSERT_EQ(std::memcmp(found, expected, sizeof(Record)), 0);
        }
        model.Get(key);
        break;
      }
      case 7: {
        const Record *found = static_cast<const Record *>(YdrCacheFind(cache, &r));
        ASSERT_EQ(found != nullptr, model.Find(key) != nullptr) << step;
        break;
      }
      case 8: ASSERT_EQ(YdrCacheRemove(cache, &r) == 1, model.Remove(key)) << step; break;
      default:
        if (rng() % 200 == 0) {
          EXPECT_EQ(YdrCacheRemove(cache, nullptr), 1);
          model.Clear();
        }
        break;
    }
    if (step % 97 == 0) ExpectSameState(cache, model, c);
    ASSERT_EQ(cb.alive.size(), static_cast<std::size_t>(model.count())) << step;  // destroyed exactly when gone
  }
  ExpectSameState(cache, model, c);
  YdrCacheDelete(cache);
  EXPECT_TRUE(cb.alive.empty());
  EXPECT_EQ(cb.destroyed_twice, 0);
}

INSTANTIATE_TEST_SUITE_P(Configurations, CacheModelTest,
                         ::testing::Values(Config{0, 0, 0, 7, 0, 0, 300},     // no limits
                                           Config{50, 0, 0, 16, 0, 0, 400},   // count limit
                                           Config{0, 500, 3, 16, 0, 0, 400},  // size limit with a minimum count
                                           Config{40, 400, 5, 1, 0, 0, 200},  // both, one bucket
                                           Config{300, 0, 0, 1, 0, 0, 1000},  // one bucket over the chain limit
                                           Config{25, 0, 0, 5, 7, 2, 300},    // copies that fail
                                           Config{25, 0, 0, 5, 3, 1, 300},    // copies done by the callback
                                           Config{0, 60, 2, 3, 0, 0, 100},    // records near the size limit
                                           // records whose sizes add up past 32 bits
                                           Config{0, INT32_MAX, 4, 8, 0, 0, 200, 23'000'000},
                                           Config{60, 2'000'000'000, 40, 8, 0, 0, 200, 23'000'000}));

TEST(CacheTest, CountLimitEvictsFromTheRightEnd) {
  Callbacks cb;
  const Config c{3, 0, 0, 8, 0, 0, 0};
  for (bool put : {true, false}) {
    HYDRCACHE cache = Create(c, &cb);
    for (unsigned key : {1u, 2u, 3u, 4u}) {
      const Record r = Make(key, 1);
      ASSERT_NE(put ? YdrCachePut(cache, &r) : YdrCacheAdd(cache, &r), nullptr);
    }
    std::vector<unsigned> walk;
    for (YDRCACHEPOS pos = YdrCacheEnum(cache, 1); pos != nullptr;)
      walk.push_back(static_cast<Record *>(YdrCacheNext(cache, &pos))->key);
    EXPECT_EQ(walk, put ? std::vector<unsigned>({4, 3, 2}) : std::vector<unsigned>({2, 3, 4}));
    YdrCacheDelete(cache);
  }
}

TEST(CacheTest, SizeLimitAndMinimumCount) {
  Callbacks cb;
  HYDRCACHE cache = Create({0, 100, 1, 4, 0, 0, 0}, &cb);
  const Record big = Make(1, 150), bigger = Make(2, 150);
  EXPECT_NE(YdrCachePut(cache, &big), nullptr);  // kept: the minimum count allows one
  EXPECT_EQ(YdrCachePut(cache, &bigger), nullptr);
  EXPECT_EQ(YdrCacheGetCount(cache, -1), 1);
  YdrCacheDelete(cache);

  cache = Create({0, 100, 0, 4, 0, 0, 0}, &cb);
  const Record sixty = Make(1, 60), fifty = Make(2, 50);
  YdrCachePut(cache, &sixty);
  YdrCachePut(cache, &fifty);
  EXPECT_EQ(YdrCacheFind(cache, &sixty), nullptr);
  EXPECT_NE(YdrCacheFind(cache, &fifty), nullptr);
  YdrCacheDelete(cache);
}

TEST(CacheTest, SizesThatAddUpPastThirtyTwoBitsStillEvict) {
  constexpr int kLarge = INT32_MAX;
  struct Case {
    const char *name;
    int max_total, min_count;
    std::vector<int> sizes;      // put in this order, keys 1, 2, ...
    std::vector<unsigned> kept;  // keys left, head first
    std::int64_t total;          // their sum
  };
  const Case cases[] = {
      {"two records just under the limit", kLarge, 0, {kLarge - 16, kLarge - 16}, {2}, kLarge - 16},
      {"the minimum count keeps two records larger than the limit, a third evicts the oldest",
       1000,
       2,
       {kLarge, kLarge, 1},
       {3, 2},
       std::int64_t{kLarge} + 1},
      {"four records kept by the minimum count, then small ones",
       1000,
       4,
       {kLarge, kLarge, kLarge, kLarge, 10, 20},
       {6, 5, 4, 3},
       2 * std::int64_t{kLarge} + 30},
      {"down to the limit once the large records are gone", 100, 2, {kLarge - 1, kLarge - 1, 30, 40, 50}, {5, 4}, 90},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Callbacks cb;
    HYDRCACHE cache = Create({0, c.max_total, c.min_count, 16, 0, 0, 0}, &cb);
    ASSERT_NE(cache, nullptr);
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      const Record r = Make(static_cast<unsigned>(i + 1), c.sizes[i]);
      EXPECT_NE(YdrCachePut(cache, &r), nullptr) << i;
    }
    std::vector<unsigned> kept;
    for (YDRCACHEPOS pos = YdrCacheEnum(cache, 1); pos != nullptr;)
      kept.push_back(static_cast<Record *>(YdrCacheNext(cache, &pos))->key);
    EXPECT_EQ(kept, c.kept);
    YDR_CACHE_STAT stat{};
    stat.recordSize = 28;
    ASSERT_EQ(YdrCacheGetStat(cache, &stat), 1);
    EXPECT_EQ(stat.totalSize, StatTotal(c.total));
    EXPECT_EQ(stat.count, static_cast<int>(c.kept.size()));
    YdrCacheDelete(cache);
    EXPECT_TRUE(cb.alive.empty());
  }
}

TEST(CacheTest, ChainLimitAppliesOnlyWithALimit) {
  for (int max_count : {0, 1000}) {
    Callbacks cb;
    HYDRCACHE cache = Create({max_count, 0, 0, 1, 0, 0, 0}, &cb);
    for (unsigned key = 0; key < 129; ++key) {
      const Record r = Make(key, 1);
      ASSERT_NE(YdrCachePut(cache, &r), nullptr);
    }
    EXPECT_EQ(YdrCacheGetCount(cache, 0), max_count == 0 ? 129 : 128);
    const Record first = Make(0, 1);
    EXPECT_EQ(YdrCacheFind(cache, &first) != nullptr, max_count == 0);  // the chain's last node went
    YdrCacheDelete(cache);
  }
}

TEST(CacheTest, CallbackOrderOfAStoreAndAFailedCopy) {
  Callbacks cb;
  cb.copy_result_for_multiple_of = 1;
  cb.copy_result = 2;
  HYDRCACHE cache = Create({0, 100, 0, 4, 0, 0, 0}, &cb);
  cb.record_ops = true;
  const Record r = Make(5, 10);
  EXPECT_EQ(YdrCachePut(cache, &r), nullptr);
  EXPECT_EQ(cb.ops, (std::vector<unsigned>{YDR_CACHE_OP_HASH, YDR_CACHE_OP_SIZE, YDR_CACHE_OP_INIT, YDR_CACHE_OP_COPY,
                                           YDR_CACHE_OP_DESTROY}));
  EXPECT_TRUE(cb.alive.empty());
  YdrCacheDelete(cache);
}

TEST(CacheTest, CreationChecksAndEmptyCaches) {
  Callbacks cb;
  for (unsigned buckets : {0u, 65531u}) EXPECT_EQ(Create({0, 0, 0, buckets, 0, 0, 0}, &cb), nullptr);
  YDR_CACHE_INFO wrong{31, 8, 0, 0, 0, 4, 0, Callback};
  EXPECT_EQ(YdrCacheCreate(&wrong), nullptr);
  for (unsigned buckets : {1u, 65530u}) {
    HYDRCACHE cache = Create({0, 0, 0, buckets, 0, 0, 0}, &cb);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(YdrCacheEnum(cache, 1), nullptr);
    EXPECT_EQ(YdrCacheEnum(cache, 0), nullptr);
    EXPECT_EQ(YdrCacheRemove(cache, nullptr), 1);
    YDR_CACHE_STAT stat{};
    stat.recordSize = 32;
    EXPECT_EQ(YdrCacheGetStat(cache, &stat), 0);
    EXPECT_EQ(stat.count, 0);
    EXPECT_EQ(stat.cache, nullptr);  // untouched
    YdrCacheDelete(cache);
  }
}

// Memory that runs out on demand: the store fails, the base library's error is 2, and the
// cache is as it was.
int g_allocations_left = -1;
void *Scarce(std::size_t size) { return g_allocations_left-- == 0 ? nullptr : std::malloc(size); }

TEST(CacheTest, AllocationFailureSetsErrorTwoAndChangesNothing) {
  Callbacks cb;
  ydr::cache::SetAllocator(Scarce);
  g_allocations_left = 0;
  YdrSetError(0);
  EXPECT_EQ(Create({0, 0, 0, 4, 0, 0, 0}, &cb), nullptr);
  EXPECT_EQ(YdrGetError(), 2);
  g_allocations_left = 2;  // the table and one node
  HYDRCACHE cache = Create({0, 0, 0, 4, 0, 0, 0}, &cb);
  ASSERT_NE(cache, nullptr);
  const Record a = Make(1, 1), b = Make(2, 1);
  EXPECT_NE(YdrCachePut(cache, &a), nullptr);
  YdrSetError(0);
  EXPECT_EQ(YdrCachePut(cache, &b), nullptr);
  EXPECT_EQ(YdrGetError(), 2);
  EXPECT_EQ(YdrCacheGetCount(cache, -1), 1);
  EXPECT_EQ(cb.alive.size(), 1u);
  ydr::cache::SetAllocator(nullptr);
  YdrCacheDelete(cache);
}

// What the header promises of a store: the stored record comes back (a copy, not the key), a
// duplicate key changes nothing, and a callback set later serves the records stored earlier.
TEST(CacheTest, StoreResultsAndALaterCallback) {
  Callbacks first, second;
  HYDRCACHE cache = Create({0, 0, 0, 4, 0, 0, 0}, &first);
  for (bool put : {true, false}) {
    SCOPED_TRACE(put ? "Put" : "Add");
    const Record r = Make(put ? 1 : 2, 1);
    Record same_key = r;
    same_key.payload[0] ^= 0xFF;
    void *stored = put ? YdrCachePut(cache, &r) : YdrCacheAdd(cache, &r);
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, static_cast<const void *>(&r));
    EXPECT_EQ(stored, YdrCacheFind(cache, &r));
    EXPECT_EQ(std::memcmp(stored, &r, sizeof r), 0);
    EXPECT_EQ(put ? YdrCachePut(cache, &same_key) : YdrCacheAdd(cache, &same_key), nullptr);
    EXPECT_EQ(std::memcmp(YdrCacheFind(cache, &r), &r, sizeof r), 0);
  }
  EXPECT_EQ(YdrCacheGetCount(cache, -1), 2);
  YdrCacheSetUserCacheFunc(cache, Callback, reinterpret_cast<uintptr_t>(&second));
  YdrCacheDelete(cache);
  EXPECT_EQ(first.alive.size(), 2u);     // never told of their end
  EXPECT_EQ(second.destroyed_twice, 2);  // told of records it never saw begin
}

TEST(CacheTest, StringHashes) {
  const unsigned short abc[] = {'a', 'b', 'c', 0}, upper[] = {'A', 'B', 'C', 0}, empty[] = {0};
  const unsigned short e_acute[] = {0xE9, 0}, e_acute_upper[] = {0xC9, 0};
  EXPECT_EQ(YdrCacheGetHashStrW(abc), 73030u);
  EXPECT_EQ(YdrCacheGetHashStrW(upper), 73030u);
  EXPECT_EQ(YdrCacheGetHashStrA("abc"), 73030u);
  EXPECT_EQ(YdrCacheGetHashStrA(""), 0u);
  EXPECT_EQ(YdrCacheGetHashStrW(empty), 0u);
  EXPECT_NE(YdrCacheGetHashStrW(e_acute), YdrCacheGetHashStrW(e_acute_upper));  // only ASCII folds
  EXPECT_EQ(YdrCacheGetHashStrA("\xE9"), 0xE9u);                                // bytes are unsigned
  CYdrCacheItem item, other;
  EXPECT_EQ(item.GetHash(), 0);
  EXPECT_EQ(item.GetSize(), 0);
  EXPECT_EQ(item.Compare(&other), 0);
  EXPECT_EQ(item.Copy(&other), 0);
  EXPECT_EQ(&(item = other), &item);
}

}  // namespace
