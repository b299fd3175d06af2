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
#include "platform/byte_order.h"

namespace ydr::gz {
namespace {

constexpr std::uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
constexpr std::uint32_t kLongestDistance = 32768;                   // what the format can say
// The tuning of the speed-oriented setting the matcher always runs at. Its good length (4)
// would quarter the chain limit once the length to beat reached it; here the length to beat
// is always 2, so the chain limit stays whole and no good length is needed.
constexpr std::uint32_t kInsertLimit = 6;
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

}  // namespace

template <class Position>
DeflateWriter<Position>::DeflateWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level)
    : window_size_(level.window_size),
      window_mask_(level.window_size - 1),
      hash_size_(1u << level.hash_bits),
      hash_mask_((1u << level.hash_bits) - 1),
      hash_shift_((level.hash_bits + kMinMatch - 1) / kMinMatch),
      max_distance_(level.window_size - kMinLookahead < kLongestDistance ? level.window_size - kMinLookahead
                                                                         : kLongestDistance),
      slide_at_(2 * level.window_size - kMinLookahead) {
  output_.Attach(this, write, user);
}

template <class Position>
bool DeflateWriter<Position>::Allocate() {
  // The window has room for a match search that runs past its used half.
  window_.reset(new (std::nothrow) std::uint8_t[4 * window_size_]());
  prev_.reset(new (std::nothrow) Position[window_size_]());
  head_.reset(new (std::nothrow) Position[hash_size_]());
  encoder_.reset(new (std::nothrow) BlockEncoder());
  return window_ && prev_ && head_ && encoder_;
}

template <class Position>
void DeflateWriter<Position>::FillWindow() {
  std::uint32_t room = 2 * window_size_ - lookahead_ - strstart_;
  if (room == 0xFFFFFFFFu) --room;
  if (strstart_ >= slide_at_) {
    std::memcpy(window_.get(), window_.get() + window_size_, window_size_);
    match_start_ -= window_size_;
    strstart_ -= window_size_;
    block_start_ -= window_size_;
    const auto slide = [this](Position &p) { p = static_cast<Position>(p >= window_size_ ? p - window_size_ : 0); };
    for (std::uint32_t i = 0; i < hash_size_; ++i) slide(head_[i]);
    for (std::uint32_t i = 0; i < window_size_; ++i) slide(prev_[i]);
    room += window_size_;
  }
  if (pending_count_ <= 0) return;  // nothing given, or the end mark
  const std::uint32_t n =
      static_cast<std::uint32_t>(pending_count_) < room ? static_cast<std::uint32_t>(pending_count_) : room;
  std::memcpy(window_.get() + strstart_ + lookahead_, pending_, n);
  crc_register_ = Crc32Update(crc_register_, pending_, n);
  bytes_in_ += n;
  pending_ += n;
  pending_count_ -= static_cast<int>(n);
  lookahead_ += n;
}

template <class Position>
std::uint32_t DeflateWriter<Position>::LongestMatch(std::uint32_t candidate) {
  const std::uint8_t *const window = window_.get();
  const Position *const prev = prev_.get();
  const std::uint32_t mask = window_mask_;
  const std::uint8_t *const scan = window + strstart_;
  std::uint32_t chain = kChainLimit;
  std::uint32_t best = kLengthToBeat;
  const std::uint32_t limit = strstart_ > max_distance_ ? strstart_ - max_distance_ : 0;
  const std::uint32_t scan_start = platform::LoadHost16(scan);
  std::uint32_t scan_end = platform::LoadHost16(scan + best - 1);
  std::uint32_t match_start = match_start_;
  do {
    const std::uint8_t *match = window + candidate;
    // Only a candidate that agrees at the current best length and in its first two bytes
    // can do better. The third byte agrees whenever these do: the hash holds it.
    if (((platform::LoadHost16(match + best - 1) ^ scan_end) | (platform::LoadHost16(match) ^ scan_start)) != 0)
      continue;
    const std::uint32_t length = 3 + CountEqual(scan + 3, match + 3, kMaxMatch - 3);
    if (length > best) {
      match_start = candidate;
      best = length;
      if (length >= kNiceLength) break;
      scan_end = platform::LoadHost16(scan + best - 1);
    }
  } while ((candidate = prev[candidate & mask]) > limit && --chain != 0);
  match_start_ = match_start;
  return best;
}

template <class Position>
void DeflateWriter<Position>::FlushBlock(bool final) {
  const std::uint8_t *bytes = block_start_ >= 0 ? window_.get() + block_start_ : nullptr;
  const auto stored_length = static_cast<std::uint32_t>(static_cast<std::int64_t>(strstart_) - block_start_);
  encoder_->FlushBlock(bytes, stored_length, final, bits_);
  block_start_ = strstart_;
}

template <class Position>
void DeflateWriter<Position>::Compress(const std::uint8_t *data, int count) {
  pending_ = data;
  pending_count_ = count;
  const bool input_ended = count == -1;
  if (!resume_) {
    match_length_ = 0;
    FillWindow();
  }
  const std::uint8_t *window = window_.get();
  while (lookahead_ != 0) {
    if (!input_ended) {
      while (lookahead_ < kMinLookahead) {
        if (pending_count_ == 0) {
          resume_ = true;
          pending_ = nullptr;
          return;
        }
        FillWindow();
      }
    }
    if (!primed_) {
      RestartHash(0);
      primed_ = true;
    }
    InsertString(strstart_);
    if (hash_head_ != 0 && strstart_ - hash_head_ <= max_distance_) {
      match_length_ = LongestMatch(hash_head_);
      if (match_length_ > lookahead_) match_length_ = lookahead_;
    }
    bool flush;
    if (match_length_ >= kMinMatch) {
      flush = encoder_->RecordMatch(strstart_ - match_start_, match_length_);
      lookahead_ -= match_length_;
      if (match_length_ <= kInsertLimit) {
        --match_length_;
        do {
          ++strstart_;
          InsertString(strstart_);
        } while (--match_length_ != 0);
        ++strstart_;
      } else {
        strstart_ += match_length_;
        match_length_ = 0;
        RestartHash(strstart_);
      }
    } else {
      flush = encoder_->RecordLiteral(window[strstart_]);
      --lookahead_;
      ++strstart_;
    }
    if (flush) FlushBlock(false);
  }
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
StreamWriter *NewWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level) {
  auto *writer = new (std::nothrow) DeflateWriter<Position>(write, user, level);
  if (writer != nullptr && !writer->Allocate()) {
    delete writer;
    writer = nullptr;
  }
  return writer;
}

}  // namespace

StreamWriter *NewStreamWriter(YDRGZ_WRITE_FUNC write, void *user, int memory_level) {
  const MemoryLevel level = MemoryLevelOf(memory_level);
  if (2 * level.window_size <= 0x10000) return NewWriter<std::uint16_t>(write, user, level);
  return NewWriter<std::uint32_t>(write, user, level);
}

}  // namespace ydr::gz
