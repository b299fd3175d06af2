// The records of the interface, held to the layouts the suite's applications and files are
// built with. On 32-bit builds (ILP32) each record has exactly its documented size and field
// offsets; on 64-bit ones the pointer-sized fields grow and the size fields of the cache's
// records become version tags (checked at run time instead).
#include <cstddef>
#include <cstdint>

#include "cache/cache_table.h"
#include "ydr/base.h"
#include "ydr/cache.h"

namespace ydr::frame {
namespace {

// Every build: records with no pointer-sized field.
static_assert(sizeof(YDR_FIND_DATAW) == 592 && offsetof(YDR_FIND_DATAW, cFileName) == 44 &&
                  offsetof(YDR_FIND_DATAW, cAlternateFileName) == 564,
              "the wide find-data record");
// (The SEED and SHA-1 contexts, 188 and 100 bytes everywhere, are checked where they are used.)

#if UINTPTR_MAX == UINT32_MAX
static_assert(sizeof(YDR_MODULE_INFO) == 24 && offsetof(YDR_MODULE_INFO, instance) == 8 &&
                  offsetof(YDR_MODULE_INFO, started) == 20,
              "the module registration record");
static_assert(sizeof(YDR_CACHE_INFO) == cache::kInfoRecordSize && offsetof(YDR_CACHE_INFO, bucketCount) == 20 &&
                  offsetof(YDR_CACHE_INFO, userData) == 24 && offsetof(YDR_CACHE_INFO, callback) == 28,
              "the cache's creation record");
static_assert(sizeof(YDR_CACHE_STAT) == cache::kStatRecordSize && offsetof(YDR_CACHE_STAT, emptyBuckets) == 20 &&
                  offsetof(YDR_CACHE_STAT, cache) == 24,
              "the cache's statistics record");
#endif

}  // namespace
}  // namespace ydr::frame
