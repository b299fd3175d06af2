// The object cache against a plain LRU (std::unordered_map + std::list) doing the same work:
// a mix of Get (move to front), Find and Put over a key space larger than the count limit,
// so that Put keeps evicting. Operations per second. "side-by-side/..." runs both alternately
// and reports each one's best and the ratio (the steady figure on a noisy machine).
//   cache-<mix>/<who>/<keys>   mix: get-heavy (70% get, 20% find, 10% put) or put-heavy
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <list>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio_reporter.h"
#include "ydr/cache.h"

namespace {

struct Record {
  unsigned key;
  unsigned value[7];
};

unsigned Callback(unsigned op, void *first, void *second, uintptr_t) {
  const Record *a = static_cast<const Record *>(first);
  switch (op) {
    case YDR_CACHE_OP_HASH: return a->key;  // as std::hash<unsigned> does
    case YDR_CACHE_OP_COMPARE: return a->key == static_cast<const Record *>(second)->key;
    default: return 0;
  }
}

constexpr int kLimit = 50000;
constexpr int kOps = 1 << 16;

// The operation stream: op 0 get, 1 find, 2 put; keys skewed toward a hot set.
struct Workload {
  std::vector<unsigned char> ops;
  std::vector<unsigned> keys;
  Workload(int key_space, int get_percent, int find_percent) {
    std::mt19937 rng(static_cast<unsigned>(key_space + get_percent));
    for (int i = 0; i < kOps; ++i) {
      const unsigned r = rng() % 100;
      ops.push_back(r < static_cast<unsigned>(get_percent)                  ? 0
                    : r < static_cast<unsigned>(get_percent + find_percent) ? 1
                                                                            : 2);
      // Half the keys from a hot tenth of the space.
      keys.push_back(rng() % 2 ? rng() % static_cast<unsigned>(key_space / 10)
                               : rng() % static_cast<unsigned>(key_space));
    }
  }
};

void BM_Ours(benchmark::State &state, int get_percent, int find_percent) {
  const Workload w(static_cast<int>(state.range(0)), get_percent, find_percent);
  YDR_CACHE_INFO info{32, sizeof(Record), kLimit, 0, 0, 65521, 0, Callback};
  HYDRCACHE cache = YdrCacheCreate(&info);
  Record r{};
  for (unsigned k = 0; k < static_cast<unsigned>(kLimit); ++k) {  // start full
    r.key = k;
    YdrCachePut(cache, &r);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    r.key = w.keys[i];
    switch (w.ops[i]) {
      case 0: benchmark::DoNotOptimize(YdrCacheGet(cache, &r)); break;
      case 1: benchmark::DoNotOptimize(YdrCacheFind(cache, &r)); break;
      default: benchmark::DoNotOptimize(YdrCachePut(cache, &r)); break;
    }
    i = (i + 1) & (kOps - 1);
  }
  YdrCacheDelete(cache);
  state.SetItemsProcessed(state.iterations());
}

class PlainLru {
 public:
  Record *Get(unsigned key) {
    auto it = map_.find(key);
    if (it == map_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return &*it->second;
  }
  Record *Find(unsigned key) {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &*it->second;
  }
  Record *Put(const Record &r) {
    if (map_.count(r.key) != 0) return nullptr;
    order_.push_front(r);
    map_[r.key] = order_.begin();
    if (map_.size() > static_cast<std::size_t>(kLimit)) {
      map_.erase(order_.back().key);
      order_.pop_back();
    }
    return &order_.front();
  }

 private:
  std::list<Record> order_;
  std::unordered_map<unsigned, std::list<Record>::iterator> map_;
};

void BM_Plain(benchmark::State &state, int get_percent, int find_percent) {
  const Workload w(static_cast<int>(state.range(0)), get_percent, find_percent);
  PlainLru lru;
  Record r{};
  for (unsigned k = 0; k < static_cast<unsigned>(kLimit); ++k) {
    r.key = k;
    lru.Put(r);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    r.key = w.keys[i];
    switch (w.ops[i]) {
      case 0: benchmark::DoNotOptimize(lru.Get(r.key)); break;
      case 1: benchmark::DoNotOptimize(lru.Find(r.key)); break;
      default: benchmark::DoNotOptimize(lru.Put(r)); break;
    }
    i = (i + 1) & (kOps - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

// Both side by side: each iteration runs the whole operation stream on ours, then on the
// plain LRU, timing each and keeping each one's best; the ratio of those is steady on a
// machine whose speed drifts between runs.
void BM_SideBySide(benchmark::State &state, int get_percent, int find_percent) {
  const Workload w(static_cast<int>(state.range(0)), get_percent, find_percent);
  YDR_CACHE_INFO info{32, sizeof(Record), kLimit, 0, 0, 65521, 0, Callback};
  HYDRCACHE cache = YdrCacheCreate(&info);
  PlainLru lru;
  Record r{};
  for (unsigned k = 0; k < static_cast<unsigned>(kLimit); ++k) {
    r.key = k;
    YdrCachePut(cache, &r);
    lru.Put(r);
  }
  double best_ours = 1e30, best_plain = 1e30;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kOps; ++i) {
      r.key = w.keys[static_cast<std::size_t>(i)];
      switch (w.ops[static_cast<std::size_t>(i)]) {
        case 0: benchmark::DoNotOptimize(YdrCacheGet(cache, &r)); break;
        case 1: benchmark::DoNotOptimize(YdrCacheFind(cache, &r)); break;
        default: benchmark::DoNotOptimize(YdrCachePut(cache, &r)); break;
      }
    }
    best_ours = std::min(best_ours, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kOps; ++i) {
      r.key = w.keys[static_cast<std::size_t>(i)];
      switch (w.ops[static_cast<std::size_t>(i)]) {
        case 0: benchmark::DoNotOptimize(lru.Get(r.key)); break;
        case 1: benchmark::DoNotOptimize(lru.Find(r.key)); break;
        default: benchmark::DoNotOptimize(lru.Put(r)); break;
      }
    }
    best_plain = std::min(best_plain, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  YdrCacheDelete(cache);
  state.counters["ours Mop/s"] = kOps / best_ours / 1e6;
  state.counters["plain Mop/s"] = kOps / best_plain / 1e6;
  state.counters["x plain"] = best_plain / best_ours;
}

}  // namespace

int main(int argc, char **argv) {
  struct Mix {
    const char *name;
    int get, find;
  };
  for (const Mix m : {Mix{"get-heavy", 70, 20}, Mix{"put-heavy", 30, 20}}) {
    for (int keys : {100000, 1000000}) {
      const std::string suffix = "/" + std::to_string(keys);
      benchmark::RegisterBenchmark((std::string("cache-") + m.name + "/ours" + suffix).c_str(), BM_Ours, m.get, m.find)
          ->Arg(keys);
      benchmark::RegisterBenchmark((std::string("cache-") + m.name + "/unordered_map+list" + suffix).c_str(), BM_Plain,
                                   m.get, m.find)
          ->Arg(keys);
      benchmark::RegisterBenchmark((std::string("side-by-side/cache-") + m.name + suffix).c_str(), BM_SideBySide, m.get,
                                   m.find)
          ->Arg(keys)
          ->MinTime(2);
    }
  }
  benchmark::Initialize(&argc, argv);
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
