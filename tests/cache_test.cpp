// The object cache against a model over long random operation sequences, then what the model does not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <tuple>
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

struct Callbacks {
  unsigned copy_every = 0, copy_result = 0;
  std::set<const void *> alive;
};

unsigned Callback(unsigned op, void *first, void *second, uintptr_t user) {
  Callbacks &cb = *reinterpret_cast<Callbacks *>(user);
  const Record *a = static_cast<const Record *>(first);
  const Record *b = static_cast<const Record *>(second);
  switch (op) {
    case YDR_CACHE_OP_HASH: return a->key * 2654435761u;
    case YDR_CACHE_OP_COMPARE: return a->key == b->key;
    case YDR_CACHE_OP_INIT:  // cleared, as a constructor would: a copy made before it is lost
      cb.alive.insert(first);
      std::memset(first, 0, sizeof(Record));
      return 0;
    case YDR_CACHE_OP_DESTROY: EXPECT_EQ(cb.alive.erase(first), 1u); return 0;
    case YDR_CACHE_OP_SIZE: return static_cast<unsigned>(a->size);
    case YDR_CACHE_OP_COPY: {
      const unsigned result = cb.copy_every != 0 && b->key % cb.copy_every == 0 ? cb.copy_result : 0;
      if (result == 1) std::memcpy(first, second, sizeof(Record));
      return result;
    }
  }
  return 0;
}

struct Config {
  int max_count, max_total, min_count;
  unsigned buckets;
  unsigned copy_every, copy_result;  // for keys that are multiples: 0 cache copies, 1 callback copies, 2 fails
  unsigned key_space;
  int size_unit = 1;   // records are 1 to 90 of these
  int fail_every = 0;  // every so many allocations are refused
};

// The model: the same rules, in other data structures.
struct Model {
  Config c;
  std::map<unsigned, std::pair<Record, int>> records;  // with the size counted for each
  std::vector<unsigned> order;                         // head first
  std::vector<std::vector<unsigned>> chains;
  std::int64_t total = 0;

  int count() const { return static_cast<int>(records.size()); }
  std::vector<unsigned> &Chain(unsigned key) { return chains[key * 2654435761u % c.buckets]; }
  static void Drop(std::vector<unsigned> &keys, unsigned key) { keys.erase(std::find(keys.begin(), keys.end(), key)); }

  void Erase(unsigned key) {
    total -= records[key].second;
    records.erase(key);
    Drop(order, key);
    Drop(Chain(key), key);
  }

  bool Store(const Record &r, bool put) {
    if (records.count(r.key) != 0) return false;
    if (c.max_total != 0 && r.size >= c.max_total && count() + 1 > c.min_count) return false;
    if (c.copy_every != 0 && r.key % c.copy_every == 0 && c.copy_result > 1) return false;
    const int size = c.max_total != 0 ? r.size : 0;
    records[r.key] = {r, size};
    total += size;
    auto &chain = Chain(r.key);
    chain.insert(put ? chain.begin() : chain.end(), r.key);
    order.insert(put ? order.begin() : order.end(), r.key);
    if ((c.max_count != 0 || c.max_total != 0) && chain.size() > 128 && count() > c.min_count) {
      Erase(put ? chain.back() : chain.front());
    }
    while ((c.max_total != 0 && total > c.max_total && count() > c.min_count) ||
           (c.max_count != 0 && count() > c.max_count)) {
      const unsigned victim = put ? order.back() : order.front();
      if (victim == r.key) break;
      Erase(victim);
    }
    return true;
  }

  void Get(unsigned key) {
    if (records.count(key) == 0 || order.front() == key) return;
    for (std::vector<unsigned> *keys : {&order, &Chain(key)}) {
      Drop(*keys, key);
      keys->insert(keys->begin(), key);
    }
  }
};

int g_fail_every = 0, g_allocations = 0;
bool g_refused = false;
void *Scarce(std::size_t size) {
  g_refused = g_fail_every != 0 && ++g_allocations % g_fail_every == 0;
  return g_refused ? nullptr : std::malloc(size);
}

HYDRCACHE Create(const Config &c, Callbacks *cb = nullptr) {
  YDR_CACHE_INFO info{
      32, sizeof(Record), c.max_count, c.max_total, c.min_count, c.buckets, reinterpret_cast<uintptr_t>(cb), Callback};
  return YdrCacheCreate(&info);
}

// The keys in the recency list, head first, walked forwards or backwards.
std::vector<unsigned> Keys(HYDRCACHE cache, bool forwards = true) {
  std::vector<unsigned> keys;
  for (YDRCACHEPOS pos = YdrCacheEnum(cache, forwards ? 1 : 0); pos != nullptr;)
    keys.push_back(static_cast<Record *>(forwards ? YdrCacheNext(cache, &pos) : YdrCachePrev(cache, &pos))->key);
  if (!forwards) std::reverse(keys.begin(), keys.end());
  return keys;
}

void ExpectSameState(HYDRCACHE cache, const Model &model) {
  ASSERT_EQ(Keys(cache), model.order);
  ASSERT_EQ(Keys(cache, false), model.order);
  std::vector<int> counts{YdrCacheGetCount(cache, -1)}, expected{model.count()};  // all, then bucket by bucket
  for (unsigned b = 0; b < model.c.buckets; ++b) {
    counts.push_back(YdrCacheGetCount(cache, static_cast<int>(b)));
    expected.push_back(static_cast<int>(model.chains[b].size()));
  }
  ASSERT_EQ(counts, expected);
  std::sort(expected.begin() + 1, expected.end());
  const auto nonempty = std::upper_bound(expected.begin() + 1, expected.end(), 0);
  YDR_CACHE_STAT stat{};
  stat.recordSize = 28;
  ASSERT_EQ(YdrCacheGetStat(cache, &stat), 1);
  const int empty = static_cast<int>(nonempty - expected.begin() - 1);
  EXPECT_EQ(std::make_tuple(stat.cache, stat.count, stat.totalSize, stat.longestChain, stat.emptyBuckets),
            std::make_tuple(cache, model.count(), std::clamp<std::int64_t>(model.total, INT32_MIN, INT32_MAX),
                            expected.back(), empty));  // the total: the nearest value it holds
  EXPECT_EQ(stat.shortestChain, nonempty == expected.end() ? 0 : *nonempty);
}

class CacheModelTest : public ::testing::TestWithParam<Config> {};

TEST_P(CacheModelTest, LongRandomSequencesMatchTheModel) {
  const Config c = GetParam();
  Callbacks cb{c.copy_every, c.copy_result, {}};
  g_fail_every = c.fail_every;
  ydr::cache::SetAllocator(Scarce);
  HYDRCACHE cache = Create(c, &cb);
  ASSERT_NE(cache, nullptr);
  Model model{c, {}, {}, std::vector<std::vector<unsigned>>(c.buckets)};
  std::mt19937 rng(c.buckets * 7 + static_cast<unsigned>(c.max_count));
  ExpectSameState(cache, model);  // empty, walked both ways
  for (int step = 0; step < 6000; ++step) {
    SCOPED_TRACE(step);
    const unsigned key = rng() % c.key_space;
    Record r{key, (static_cast<int>(rng() % 90) + 1) * c.size_unit, {}};
    std::memset(r.payload, static_cast<int>(key), sizeof r.payload);
    const bool present = model.records.count(key) != 0;
    const unsigned op = rng() % 10;
    if (op < 5) {  // 0-2 Put, 3-4 Add; a store refused memory sets error 2 and changes nothing
      g_refused = false;
      YdrSetError(0);
      const void *stored = op < 3 ? YdrCachePut(cache, &r) : YdrCacheAdd(cache, &r);
      ASSERT_EQ(stored != nullptr, !g_refused && model.Store(r, op < 3));
      ASSERT_TRUE(stored == nullptr || stored == YdrCacheFind(cache, &r));  // the stored copy, not the key
      ASSERT_EQ(YdrGetError(), g_refused ? 2 : 0);
    } else if (op < 7) {
      const void *found = YdrCacheGet(cache, &r);
      ASSERT_EQ(found != nullptr, present);
      ASSERT_TRUE(!present || std::memcmp(found, &model.records[key].first, sizeof(Record)) == 0);
      model.Get(key);
    } else if (op == 7) {
      ASSERT_EQ(YdrCacheFind(cache, &r) != nullptr, present);
    } else if (op == 8) {
      ASSERT_EQ(YdrCacheRemove(cache, &r) == 1, present);
      if (present) model.Erase(key);
    } else if (rng() % 200 == 0) {
      EXPECT_EQ(YdrCacheRemove(cache, nullptr), 1);
      while (!model.order.empty()) model.Erase(model.order.front());
    }
    if (step % 97 == 0) ExpectSameState(cache, model);
    ASSERT_EQ(cb.alive.size(), static_cast<std::size_t>(model.count()));  // destroyed exactly when gone
  }
  ExpectSameState(cache, model);
  Callbacks later = cb;  // a callback set now is the one told of the end of the records stored before
  YdrCacheSetUserCacheFunc(cache, Callback, reinterpret_cast<uintptr_t>(&later));
  YdrCacheDelete(cache);
  ydr::cache::SetAllocator(nullptr);
  EXPECT_TRUE(later.alive.empty());
}

INSTANTIATE_TEST_SUITE_P(Configurations, CacheModelTest,
                         ::testing::Values(Config{0, 0, 0, 2, 0, 0, 400},         // no limits: chains past 128 stay
                                           Config{50, 0, 0, 16, 0, 0, 400},       // count limit
                                           Config{0, 500, 3, 16, 0, 0, 400},      // size limit with a minimum count
                                           Config{40, 400, 5, 1, 0, 0, 200},      // both, one bucket
                                           Config{300, 0, 0, 1, 0, 0, 1000},      // one bucket over the chain limit
                                           Config{25, 1000, 0, 5, 7, 2, 300},     // copies that fail, sizes counted
                                           Config{25, 0, 0, 5, 3, 1, 300},        // copies done by the callback
                                           Config{0, 60, 2, 3, 0, 0, 100},        // records near the size limit
                                           Config{0, 0, 0, 16, 0, 0, 400, 1, 5},  // allocations refused
                                           // sizes adding up past 32 bits (a wrapped sum evicted nothing)
                                           Config{0, INT32_MAX, 4, 8, 0, 0, 200, 23'000'000}));

// Bad records and bucket counts give null, as does a creation refused memory (error 2); a bad statistics record 0.
TEST(CacheTest, CreationAndStatisticsCheckTheirRecords) {
  g_fail_every = 1;
  ydr::cache::SetAllocator(Scarce);
  YdrSetError(0);
  EXPECT_EQ(Create({0, 0, 0, 16, 0, 0, 0}), nullptr);
  EXPECT_EQ(YdrGetError(), 2);
  ydr::cache::SetAllocator(nullptr);
  for (unsigned buckets : {0u, 65531u}) EXPECT_EQ(Create({0, 0, 0, buckets, 0, 0, 0}), nullptr);
  YDR_CACHE_INFO wrong{31, 8, 0, 0, 0, 4, 0, Callback};
  EXPECT_EQ(YdrCacheCreate(&wrong), nullptr);
  HYDRCACHE cache = Create({0, 0, 0, 65530, 0, 0, 0});
  ASSERT_NE(cache, nullptr);
  YDR_CACHE_STAT stat{};
  stat.recordSize = 32;
  EXPECT_EQ(YdrCacheGetStat(cache, &stat), 0);
  EXPECT_EQ(stat.cache, nullptr);
  YdrCacheDelete(cache);
}

// The string hashes fold ASCII case only and read bytes as unsigned; the item base class returns zeros.
TEST(CacheTest, StringHashesAndItemDefaults) {
  const unsigned short abc[] = {'a', 'b', 'c', 0}, upper[] = {'A', 'B', 'C', 0}, e_acute[] = {0xE9, 0};
  const unsigned short e_acute_upper[] = {0xC9, 0};
  const std::vector<unsigned> hashes = {YdrCacheGetHashStrW(abc), YdrCacheGetHashStrW(upper),
                                        YdrCacheGetHashStrA("abc"), YdrCacheGetHashStrA("\xE9")};
  EXPECT_EQ(hashes, (std::vector<unsigned>{73030, 73030, 73030, 0xE9}));
  EXPECT_NE(YdrCacheGetHashStrW(e_acute), YdrCacheGetHashStrW(e_acute_upper));
  CYdrCacheItem item, other;
  EXPECT_EQ(item.GetHash() + item.GetSize() + item.Compare(&other) + item.Copy(&other), 0);
  EXPECT_EQ(&(item = other), &item);
}

}  // namespace
