// The matcher: a sliding window searched through hash chains, every match found taken at
// once (no deferred evaluation), tuned for speed.
//
// Input is copied into a window of 2W bytes. Each position's three bytes are hashed into a
// chain of earlier positions with the same hash; the chain is searched for the longest
// match, at most 32 steps and stopping at the first match of 32 bytes or more. Matches up to
// 6 bytes long have every position inside them entered into the chains; longer ones are
// skipped over whole, which is what keeps this fast on repetitive data.
//
// When the current position comes within 262 bytes of the window's end (the longest match
// plus the shortest, plus one), the upper half of the window moves down and every stored
// position loses W; positions that fall off the bottom become 0, which stands for "no
// earlier position", so position 0 is never a match candidate. The window is cleared when
// the stream opens and the matcher may compare bytes beyond the input: those bytes are
// zeros or what the last slide left, so the output is always the same for the same input.
//
// Everything lives in the handle, so that compression suspends whenever the caller's bytes
// run out with less than 262 bytes ahead, and resumes exactly where it stopped.
#include "gz/deflate_writer.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(YDR_X86_TARGETS)
#include <immintrin.h>
#endif

#include "gz/crc32.h"
#include "platform/byte_order.h"
#include "platform/cpu_features.h"
#include "platform/cpu_targets.h"

namespace ydr::gz {
namespace {

constexpr std::uint32_t kLongestDistance = 32768;  // what the format can say
// The tuning of the speed-oriented setting the matcher always runs at. Its good length (4)
// would quarter the chain limit once the length to beat reached it; here the length to beat
// is always 2, so the chain limit stays whole and no good length is needed.
constexpr std::uint32_t kNiceLength = 32;
constexpr std::uint32_t kChainLimit = 32;
constexpr std::uint32_t kLengthToBeat = kMinMatch - 1;

// Equal bytes of a and b, at most `limit`, compared eight at a time.
inline std::uint32_t CountEqual(const std::uint8_t *a, const std::uint8_t *b, std::uint32_t limit) {
  std::uint32_t n = 0;
  while (n < limit) {
    const std::uint64_t x = platform::LoadHost64(a + n), y = platform::LoadHost64(b + n);
    const std::uint64_t diff = x ^ y;
    if (diff != 0) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      n += static_cast<std::uint32_t>(__builtin_ctzll(diff)) >> 3;
#else
      n += static_cast<std::uint32_t>(__builtin_clzll(diff)) >> 3;
#endif
      return n < limit ? n : limit;
    }
    n += 8;
  }
  return limit;
}

// Every stored position loses `by`; those that fall off the bottom become 0 ("none").
// `count` is a multiple of 8.
void SlideDown(std::uint32_t *positions, std::uint32_t count, std::uint32_t by) {
  for (std::uint32_t i = 0; i < count; ++i) positions[i] -= positions[i] < by ? positions[i] : by;
}

void SlideDown(std::uint16_t *positions, std::uint32_t count, std::uint32_t by) {
#if defined(__SSE2__)
  const __m128i amount = _mm_set1_epi16(static_cast<short>(by));
  for (std::uint32_t i = 0; i < count; i += 8) {
    auto *p = reinterpret_cast<__m128i *>(positions + i);
    _mm_storeu_si128(p, _mm_subs_epu16(_mm_loadu_si128(p), amount));  // saturating
  }
#else
  for (std::uint32_t i = 0; i < count; ++i) {
    positions[i] = static_cast<std::uint16_t>(positions[i] - (positions[i] < by ? positions[i] : by));
  }
#endif
}

}  // namespace

MatchSearch ChooseMatchSearch(MatchSearch wanted) {
  if (wanted == MatchSearch::kBest && platform::CpuFeaturesDisabled()) return MatchSearch::kPlain;
#if defined(YDR_X86_TARGETS)
  if (wanted == MatchSearch::kBest) wanted = MatchSearch::kVector32;
  if (wanted == MatchSearch::kVector32 && platform::GetCpuFeatures().avx2) return wanted;
  if (wanted == MatchSearch::kVector32) wanted = MatchSearch::kVector16;
#endif
#if defined(__SSE2__)
  if (wanted == MatchSearch::kBest || wanted == MatchSearch::kVector16) return MatchSearch::kVector16;
#endif
  return MatchSearch::kPlain;
}

template <class Position>
DeflateWriter<Position>::DeflateWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level, MatchSearch search)
    : level_(level),
      window_size_(level.window_size),
      window_mask_(level.window_size - 1),
      hash_size_(1u << level.hash_bits),
      hash_mask_((1u << level.hash_bits) - 1),
      hash_shift_((level.hash_bits + kMinMatch - 1) / kMinMatch),
      max_distance_(level.window_size - kMinLookahead < kLongestDistance ? level.window_size - kMinLookahead
                                                                         : kLongestDistance),
      slide_at_(2 * level.window_size - kMinLookahead) {
  output_.Attach(this, write, user);
  search_ = ChooseMatchSearch(search);
}

template <class Position>
DeflateWriter<Position>::DeflateWriter(const MemoryLevel &level, MatchSearch search)
    : DeflateWriter(nullptr, nullptr, level, search) {
  const_cast<bool &>(parse_only_) = true;
}

template <class Position>
bool DeflateWriter<Position>::Allocate() {
  // The window has room for a match search that runs past its used half.
  window_.reset(new (std::nothrow) std::uint8_t[4 * window_size_]());
  prev_.reset(new (std::nothrow) Position[window_size_]());
  head_.reset(new (std::nothrow) Position[hash_size_]());
  if (!parse_only_) encoder_.reset(new (std::nothrow) BlockEncoder());
  if (search_ != MatchSearch::kPlain) {
    skip_.reset(new (std::nothrow) Position[window_size_]());
    if (!skip_) return false;
  }
  return window_ && prev_ && head_ && (encoder_ || parse_only_);
}

template <class Position>
void DeflateWriter<Position>::FillWindow() {
  std::uint32_t room = 2 * window_size_ - lookahead_ - strstart_;
  if (room == 0xFFFFFFFFu) --room;
  if (strstart_ >= slide_at_) {
    std::memcpy(window_.get(), window_.get() + window_size_, window_size_);
    strstart_ -= window_size_;
    block_start_ -= window_size_;
    window_base_ += window_size_;
    SlideDown(head_.get(), hash_size_, window_size_);
    SlideDown(prev_.get(), window_size_, window_size_);
    if (skip_) SlideDown(skip_.get(), window_size_, window_size_);
    room += window_size_;
  }
  if (pending_count_ <= 0) return;  // nothing given, or the end mark
  const std::uint32_t n =
      static_cast<std::uint32_t>(pending_count_) < room ? static_cast<std::uint32_t>(pending_count_) : room;
  std::memcpy(window_.get() + strstart_ + lookahead_, pending_, n);
  if (!parse_only_) crc_register_ = Crc32Update(crc_register_, pending_, n);
  bytes_in_ += n;
  taken_ += n;
  pending_ += n;
  pending_count_ -= static_cast<int>(n);
  lookahead_ += n;
}

namespace {

// The search along a chain, which both variants make the same way: at most kChainLimit
// candidates, newest first, none at or below `limit` after the first; the longest match
// wins, the first found of equal ones, and one of kNiceLength or more ends the search.
// Both return the length (kLengthToBeat when nothing longer was found) and leave the
// winner's position in *start.
struct ChainSearch {
  const std::uint8_t *window;
  std::uint32_t mask;
  std::uint32_t limit;
};

// The plain search: a candidate is compared in full only if it agrees with the current
// position in its first two bytes and at the current best length.
struct PlainSearch {
  static constexpr bool kSkipLinks = false;

  template <class Position>
  static std::uint32_t Longest(const ChainSearch &c, const Position *prev, const Position * /*skip*/,
                               std::uint32_t position, std::uint32_t candidate, std::uint32_t *start) {
    const std::uint8_t *const scan = c.window + position;
    std::uint32_t chain = kChainLimit;
    std::uint32_t best = kLengthToBeat;
    const std::uint32_t scan_start = platform::LoadHost16(scan);
    std::uint32_t scan_end = platform::LoadHost16(scan + best - 1);
    do {
      const std::uint8_t *match = c.window + candidate;
      // Only a candidate that agrees at the current best length and in its first two bytes
      // can do better. The third byte agrees whenever these do: the hash holds it.
      if (((platform::LoadHost16(match + best - 1) ^ scan_end) | (platform::LoadHost16(match) ^ scan_start)) != 0)
        continue;
      const std::uint32_t length = 3 + CountEqual(scan + 3, match + 3, kMaxMatch - 3);
      if (length > best) {
        *start = candidate;
        best = length;
        if (length >= kNiceLength) break;
        scan_end = platform::LoadHost16(scan + best - 1);
      }
    } while ((candidate = prev[candidate & c.mask]) > c.limit && --chain != 0);
    return best;
  }
};

#if defined(__SSE2__)
// Leading equal bytes of two 32-byte runs (32: all equal), by two 16-byte compares or one
// of 32 bytes.
struct Compare16 {
  static std::uint32_t Prefix32(const std::uint8_t *a, const std::uint8_t *b) {
    const auto equal16 = [](const std::uint8_t *x, const std::uint8_t *y) {
      return static_cast<std::uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(x)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i *>(y)))));
    };
    const std::uint32_t equal = equal16(a, b) | equal16(a + 16, b + 16) << 16;
    return static_cast<std::uint32_t>(__builtin_ctzll(~static_cast<std::uint64_t>(equal)));
  }
};

#if defined(YDR_X86_TARGETS)
struct Compare32 {
  YDR_AVX2_TARGET static std::uint32_t Prefix32(const std::uint8_t *a, const std::uint8_t *b) {
    const auto equal = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(a)),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b)))));
    return static_cast<std::uint32_t>(__builtin_ctzll(~static_cast<std::uint64_t>(equal)));
  }
};
#endif

// The same search without a branch per candidate: every candidate's common prefix with the
// current position is measured up to kNiceLength bytes at once, and the best kept as
// (length << 32 | position), so that of equal lengths the later position, the one met
// first, wins. Only the winner is measured past kNiceLength.
template <class Compare>
struct VectorSearch {
  static constexpr bool kSkipLinks = true;

  // The chain is followed two links at a time: `skip` holds each position's second
  // predecessor, so the loads that find the next candidates depend on one another only
  // every other candidate.
  template <class Position>
  YDR_ALWAYS_INLINE static std::uint32_t Longest(const ChainSearch &c, const Position *prev, const Position *skip,
                                                 std::uint32_t position, std::uint32_t candidate,
                                                 std::uint32_t *start) {
    static_assert(kNiceLength == 32, "the prefix is measured 32 bytes at a time");
    const std::uint8_t *const scan = c.window + position;
    std::uint32_t chain = kChainLimit;
    std::uint64_t best = 0;
    const auto measure = [&](std::uint32_t at) YDR_ALWAYS_INLINE_LAMBDA {
      const std::uint32_t length = Compare::Prefix32(scan, c.window + at);
      const std::uint64_t key = std::uint64_t{length} << 32 | at;
      best = key > best ? key : best;
      return length >= kNiceLength;
    };
    for (;;) {
      if (measure(candidate) || --chain == 0) break;
      const std::uint32_t next = prev[candidate & c.mask];
      const std::uint32_t after = skip[candidate & c.mask];
      if (next <= c.limit || measure(next) || --chain == 0 || after <= c.limit) break;
      candidate = after;
    }
    std::uint32_t length = static_cast<std::uint32_t>(best >> 32);
    if (length < kMinMatch) return kLengthToBeat;
    *start = static_cast<std::uint32_t>(best);
    if (length == kNiceLength) {
      length += CountEqual(scan + kNiceLength, c.window + *start + kNiceLength, kMaxMatch - kNiceLength);
    }
    return length;
  }
};
#endif

}  // namespace

template <class Position>
void DeflateWriter<Position>::FlushBlock(bool final) {
  const std::uint8_t *bytes = block_start_ >= 0 ? window_.get() + block_start_ : nullptr;
  const auto stored_length = static_cast<std::uint32_t>(static_cast<std::int64_t>(strstart_) - block_start_);
  if (parallel_write_ != nullptr) {
    QueueOwnBlock(bytes, stored_length);  // never the final block: a shared write is no end
  } else {
    encoder_->FlushBlock(bytes, stored_length, final, bits_);
  }
  block_start_ = strstart_;
}

template <class Position>
SymbolCursor DeflateWriter<Position>::Cursor() {
  if (!parse_only_) return encoder_->cursor();
  return {sink_ + sink_count_, sink_ + sink_capacity_, sink_litlen_freq_, sink_dist_freq_};
}

template <class Position>
void DeflateWriter<Position>::Commit(const SymbolCursor &cursor) {
  if (!parse_only_) {
    encoder_->Commit(cursor);
  } else {
    sink_count_ = static_cast<std::size_t>(cursor.next - sink_);
  }
}

// The loop as it runs without the parallel path's checks.
template <class Position>
struct DeflateWriter<Position>::NoWatch {
  static constexpr bool kActive = false;
  bool StopBefore(std::uint64_t) { return false; }
  void Decided(std::uint64_t, std::uint32_t) {}
};

template <class Position>
void DeflateWriter<Position>::Compress(const std::uint8_t *data, int count) {
  if (!parse_only_ && parallel_.threads > 1 && parallel_.chunk > 0 && count > 0 &&
      static_cast<std::uint32_t>(count) >= parallel_.min_write) {
    CompressInParallel(data, count);
    return;
  }
  pending_ = data;
  pending_count_ = count;
  const bool input_ended = count == -1;
  if (!resume_) FillWindow();
  NoWatch none;
  Run(input_ended, &none);
}

template <class Position>
template <class Watch>
void DeflateWriter<Position>::Run(bool input_ended, Watch *watch) {
  switch (search_) {
#if defined(YDR_X86_TARGETS)
    case MatchSearch::kVector32: MatchWith32ByteCompares(input_ended, watch); return;
#endif
#if defined(__SSE2__)
    case MatchSearch::kVector16: Match<VectorSearch<Compare16>>(input_ended, watch); return;
#endif
    default: Match<PlainSearch>(input_ended, watch); return;
  }
}

#if defined(YDR_X86_TARGETS)
// The loop compiled for AVX2, so that the 32-byte compares inline into it.
template <class Position>
template <class Watch>
YDR_AVX2_TARGET void DeflateWriter<Position>::MatchWith32ByteCompares(bool input_ended, Watch *watch) {
  Match<VectorSearch<Compare32>>(input_ended, watch);
}
#endif

template <class Position>
void DeflateWriter<Position>::RunUntil(std::uint64_t stop_at, ParseWatch *watch) {
  watch->stop_at = stop_at;
  Run(false, watch);
}

template <class Position>
std::size_t DeflateWriter<Position>::ParseOnly(const std::uint8_t *data, std::size_t count, std::uint32_t *symbols) {
  if (count < kMinLookahead || count > 0x7FFFFFFF) return 0;  // nothing parsed before more came
  std::memset(window_.get(), 0, 4 * std::size_t{window_size_});
  std::memset(prev_.get(), 0, sizeof(Position) * window_size_);
  std::memset(head_.get(), 0, sizeof(Position) * hash_size_);
  if (skip_) std::memset(skip_.get(), 0, sizeof(Position) * window_size_);
  hash_ = strstart_ = lookahead_ = 0;
  block_start_ = 0;
  resume_ = primed_ = false;
  window_base_ = taken_ = 0;
  sink_ = symbols;
  sink_count_ = 0;
  sink_capacity_ = count + 1;  // every symbol stands for at least one byte: never full
  pending_ = data;
  pending_count_ = static_cast<int>(count);
  FillWindow();
  NoWatch none;
  Run(false, &none);
  sink_ = nullptr;
  return sink_count_;
}

// The matcher's loop. Its state lives in locals while it runs (stores into the symbol
// buffer would otherwise make the compiler reload every member after each one) and goes
// back into the members before anything else looks at it: a refill, a flush, the return.
template <class Position>
template <class Search, class Watch>
YDR_ALWAYS_INLINE void DeflateWriter<Position>::Match(bool input_ended, Watch *watch) {
  const std::uint8_t *const window = window_.get();
  Position *const head = head_.get();
  Position *const prev = prev_.get();
  Position *const skip = skip_.get();
  const std::uint32_t window_mask = window_mask_;
  const std::uint32_t hash_mask = hash_mask_;
  const std::uint32_t hash_shift = hash_shift_;
  const std::uint32_t max_distance = max_distance_;
  std::uint32_t strstart = strstart_;
  std::uint32_t lookahead = lookahead_;
  std::uint32_t hash = hash_;
  SymbolCursor symbols = Cursor();

  const auto insert = [&](std::uint32_t position) -> std::uint32_t {
    hash = ((hash << hash_shift) ^ window[position + 2]) & hash_mask;
    const std::uint32_t previous = head[hash];
    prev[position & window_mask] = static_cast<Position>(previous);
    if constexpr (Search::kSkipLinks) skip[position & window_mask] = prev[previous & window_mask];
    head[hash] = static_cast<Position>(position);
    return previous;
  };
  const auto restart_hash = [&](std::uint32_t position) {
    hash = ((std::uint32_t{window[position]} << hash_shift) ^ window[position + 1]) & hash_mask;
  };
  const auto save = [&] {
    strstart_ = strstart;
    lookahead_ = lookahead;
    hash_ = hash;
    Commit(symbols);
  };

  for (;;) {
    if (lookahead < kMinLookahead) {
      if (lookahead == 0) break;
      if (!input_ended) {
        save();
        while (lookahead_ < kMinLookahead) {
          if (pending_count_ == 0) {
            resume_ = true;
            pending_ = nullptr;
            return;
          }
          FillWindow();  // may slide the window: positions change
        }
        strstart = strstart_;
        lookahead = lookahead_;
      }
    }
    if (!primed_) {
      restart_hash(0);
      primed_ = true;
    }
    if constexpr (Watch::kActive) {
      if (watch->StopBefore(window_base_ + strstart)) {
        save();
        return;
      }
    }
    const std::uint32_t candidate = insert(strstart);
    std::uint32_t length = 0;
    std::uint32_t start = 0;
    if (candidate != 0 && strstart - candidate <= max_distance) {
      const ChainSearch search{window, window_mask, strstart > max_distance ? strstart - max_distance : 0};
      length = Search::Longest(search, prev, skip, strstart, candidate, &start);
      if (length > lookahead) length = lookahead;
    }
    bool flush;
    [[maybe_unused]] const std::uint32_t decided_at = strstart;
    if (length >= kMinMatch) {
      flush = symbols.Match(strstart - start, length);
      lookahead -= length;
      if (length <= kInsertLimit) {
        for (std::uint32_t i = 1; i < length; ++i) insert(strstart + i);
        strstart += length;
      } else {
        strstart += length;
        restart_hash(strstart);
      }
    } else {
      flush = symbols.Literal(window[strstart]);
      --lookahead;
      ++strstart;
    }
    if constexpr (Watch::kActive) watch->Decided(window_base_ + decided_at, symbols.next[-1]);
    if (flush) {
      save();
      FlushBlock(false);
      symbols = Cursor();
    }
  }
  save();
  resume_ = false;
  pending_ = nullptr;
  FlushBlock(true);
}

template <class Position>
void DeflateWriter<Position>::Finish() {
  Compress(nullptr, -1);
  const std::uint32_t crc = ~crc_register_;
  std::uint8_t trailer[8];
  platform::StoreLittleEndian32(trailer, crc);
  platform::StoreLittleEndian32(trailer + 4, bytes_in_);
  output_.PutBytes(trailer, 8);
  output_.FlushAll();
}

template class DeflateWriter<std::uint16_t>;
template class DeflateWriter<std::uint32_t>;

namespace {

template <class Position>
StreamWriter *NewWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level, MatchSearch search) {
  auto *writer = new (std::nothrow) DeflateWriter<Position>(write, user, level, search);
  if (writer != nullptr && !writer->Allocate()) {
    delete writer;
    writer = nullptr;
  }
  return writer;
}

}  // namespace

StreamWriter *NewStreamWriter(YDRGZ_WRITE_FUNC write, void *user, int memory_level, MatchSearch search) {
  const MemoryLevel level = MemoryLevelOf(memory_level);
  StreamWriter *writer = 2 * level.window_size <= 0x10000 ? NewWriter<std::uint16_t>(write, user, level, search)
                                                          : NewWriter<std::uint32_t>(write, user, level, search);
  if (writer != nullptr) writer->set_parallel(DefaultParallelSettings());
  return writer;
}

}  // namespace ydr::gz
