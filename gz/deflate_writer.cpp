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

#include "gz/crc32.h"
#include "gz/deflate_match.h"
#include "portable/byte_order.h"
#include "portable/cpu_features.h"
#include "portable/cpu_targets.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "gz/match_compare_sse2.h"
#endif

namespace ydr::gz {
namespace {

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
  if (wanted == MatchSearch::kBest && portable::CpuFeaturesDisabled()) return MatchSearch::kPlain;
#if defined(YDR_X86_TARGETS)
  if (wanted == MatchSearch::kBest) wanted = MatchSearch::kVector32;
  if (wanted == MatchSearch::kVector32 && portable::GetCpuFeatures().avx2) return wanted;
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
      max_distance_(level.window_size - kMinLookahead < match::kLongestDistance ? level.window_size - kMinLookahead
                                                                                : match::kLongestDistance),
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
    case MatchSearch::kVector16: Match<match::VectorSearch<match::Compare16>>(input_ended, watch); return;
#endif
    default: Match<match::PlainSearch>(input_ended, watch); return;
  }
}

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

template <class Position>
void DeflateWriter<Position>::Finish() {
  Compress(nullptr, -1);
  const std::uint32_t crc = ~crc_register_;
  std::uint8_t trailer[8];
  portable::StoreLittleEndian32(trailer, crc);
  portable::StoreLittleEndian32(trailer + 4, bytes_in_);
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
