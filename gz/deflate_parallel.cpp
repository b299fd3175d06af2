// One large write compressed on several threads, to the same bytes as on one.
//
// The write is cut into chunks. Chunk 0 is parsed by the writer itself, as always. Every
// later chunk is parsed ahead by another thread (or by the caller's thread while it would
// otherwise wait) with a writer that starts from an empty window and only records its
// symbols. A parse started at an arbitrary place soon makes the same decisions as the true
// one: the matcher forgets everything older than its reach. When the writer's own parse
// arrives at a chunk, it goes on deciding for itself and compares each decision with the
// chunk's; once both have started a decision at the same position and every decision of
// both was the same over more than a match's reach before it, the positions in the hash
// chains that a match can reach are the same in both, and so is every decision after. The
// writer then takes the chunk's symbols from there on without searching, encodes them in
// blocks as it always does (blocks end by symbol count, so they end where they would), and
// enters into its chains the positions the last stretch of them entered, which is all a
// later search can see. A chunk whose parse never meets the writer's is simply parsed again
// by the writer. The writer's window fills and slides at the same points as on one thread,
// and all output goes through its buffer on the caller's thread, so the callback sees the
// same calls with the same bytes.
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "gz/deflate_writer.h"

namespace ydr::gz {

ParallelSettings DefaultParallelSettings() {
  ParallelSettings settings;
  const unsigned processors = std::thread::hardware_concurrency();
  settings.threads = processors == 0 ? 1 : static_cast<int>(std::min(processors, 4u));
  if (const char *wanted = std::getenv("YDR_GZ_THREADS")) {
    char *end = nullptr;
    const long n = std::strtol(wanted, &end, 10);
    if (end != wanted && *end == '\0' && n >= 1 && n <= 64) settings.threads = static_cast<int>(n);
  }
  return settings;
}

// A chunk of the write and the symbols of its parse made ahead.
struct ParseAhead {
  enum class State { kWaiting, kRunning, kDone, kFailed, kOwnParse, kLeft };
  State state = State::kWaiting;
  std::size_t begin = 0;  // the write's bytes the parse ahead reads
  std::size_t end = 0;
  std::unique_ptr<std::uint32_t[]> symbols;
  std::size_t count = 0;
};

namespace {

// The chunks of one write, handed out in order to whichever thread asks first. At most
// `ahead_limit` chunks past the one the writer is at are parsed ahead, which bounds the
// memory their symbols take.
class ChunkQueue {
 public:
  static constexpr std::size_t kNone = ~std::size_t{0};

  ChunkQueue(std::vector<ParseAhead> *chunks, std::size_t ahead_limit)
      : chunks_(*chunks), ahead_limit_(ahead_limit), limit_(1 + ahead_limit) {}

  // The next chunk to parse ahead; kNone once there is none left. With `wait`, waits while
  // the chunks allowed are all taken; without it, returns kNone then.
  std::size_t Claim(bool wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (closed_ || next_ >= chunks_.size()) return kNone;
      if (next_ <= limit_) {
        chunks_[next_].state = ParseAhead::State::kRunning;
        return next_++;
      }
      if (!wait) return kNone;
      changed_.wait(lock);
    }
  }

  void Finish(std::size_t index, bool parsed) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ParseAhead &chunk = chunks_[index];
      if (chunk.state == ParseAhead::State::kRunning) {
        chunk.state = parsed ? ParseAhead::State::kDone : ParseAhead::State::kFailed;
      }
    }
    changed_.notify_all();
  }

  // The writer has arrived at chunk `index`: the chunks after it may now be parsed ahead.
  // A chunk nobody has started, the writer parses itself (kOwnParse), or with `always_meet`
  // parses ahead like the other threads. One being parsed, with `help`, the writer waits
  // for, parsing later chunks in the meantime; without it (when parses have lately not
  // met), the writer leaves it and parses the chunk itself.
  template <class ParseOne>
  ParseAhead::State Arrive(std::size_t index, bool help, bool always_meet, ParseOne parse_one) {
    std::unique_lock<std::mutex> lock(mutex_);
    limit_ = index + ahead_limit_;
    changed_.notify_all();
    for (;;) {
      ParseAhead &chunk = chunks_[index];
      if (chunk.state == ParseAhead::State::kWaiting) {
        next_ = index + 1;  // chunks are taken in order: none after it has been
        if (!always_meet) {
          chunk.state = ParseAhead::State::kOwnParse;
          return chunk.state;
        }
        chunk.state = ParseAhead::State::kRunning;
        lock.unlock();
        const bool parsed = parse_one(index);
        lock.lock();
        chunk.state = parsed ? ParseAhead::State::kDone : ParseAhead::State::kFailed;
        continue;
      }
      if (chunk.state != ParseAhead::State::kRunning) return chunk.state;
      if (!help && !always_meet) {
        chunk.state = ParseAhead::State::kLeft;  // its thread still writes its symbols
        return chunk.state;
      }
      if (!closed_ && next_ < chunks_.size() && next_ <= limit_) {
        const std::size_t other = next_++;
        chunks_[other].state = ParseAhead::State::kRunning;
        lock.unlock();
        const bool parsed = parse_one(other);
        lock.lock();
        if (chunks_[other].state == ParseAhead::State::kRunning) {
          chunks_[other].state = parsed ? ParseAhead::State::kDone : ParseAhead::State::kFailed;
        }
        changed_.notify_all();
        continue;
      }
      changed_.wait(lock);
    }
  }

  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::vector<ParseAhead> &chunks_;
  const std::size_t ahead_limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 1;  // chunk 0 is the writer's own
  std::size_t limit_;
  bool closed_ = false;
};

// The chunk length for a write of `count` bytes: the settings' chunk, smaller when that
// would leave fewer than four chunks per thread, but not below 256 KiB (or the settings'
// chunk, if smaller), where the stretch each join costs starts to show.
std::size_t ChunkLength(const ParallelSettings &settings, std::size_t count) {
  const std::size_t floor = std::min<std::size_t>(settings.chunk, 256 * 1024);
  const std::size_t spread = count / (4 * static_cast<std::size_t>(settings.threads));
  return std::max(floor, std::min<std::size_t>(settings.chunk, spread));
}

}  // namespace

template <class Position>
void DeflateWriter<Position>::CompressInParallel(const std::uint8_t *data, int count) {
  const std::uint64_t call_start = taken_;  // the stream position of data[0]
  pending_ = data;
  pending_count_ = count;
  if (!resume_) FillWindow();

  // Each chunk's parse runs on past the chunk's end (by more than a join usually takes),
  // so that the writer, having taken its symbols, finds the next chunk's parse already
  // agreeing with its own, and needs to parse only one reach of a match itself.
  const auto length = static_cast<std::size_t>(count);
  const std::size_t chunk = ChunkLength(parallel_, length);
  const std::size_t overrun = std::min<std::size_t>(chunk / 2, 32 * 1024 + max_distance_);
  if (length / chunk < 2) {
    ParseWatch none;
    RunUntil(ParseWatch::kNone, &none);
    return;
  }
  std::vector<ParseAhead> chunks(length / chunk);
  for (std::size_t k = 1; k < chunks.size(); ++k) {
    chunks[k].begin = k * chunk;
    chunks[k].end = std::min(length, (k + 1) * chunk + overrun);
  }
  chunks.back().end = length;

  ChunkQueue queue(&chunks, static_cast<std::size_t>(parallel_.threads) + 1);
  const auto parse_into = [&](std::unique_ptr<DeflateWriter> *parser, std::size_t index) {
    if (!*parser) {
      parser->reset(new (std::nothrow) DeflateWriter(level_, search_));
      if (*parser && !(*parser)->Allocate()) parser->reset();
      if (!*parser) return false;
    }
    ParseAhead &c = chunks[index];
    return (*parser)->ParseOnly(data + c.begin, c.end - c.begin, &c.symbols, &c.count);
  };

  std::vector<std::thread> helpers;
  for (int t = 1; t < parallel_.threads && chunks.size() > 1; ++t) {
    try {
      helpers.emplace_back([&] {
        std::unique_ptr<DeflateWriter> parser;
        for (std::size_t k; (k = queue.Claim(true)) != ChunkQueue::kNone;) queue.Finish(k, parse_into(&parser, k));
      });
    } catch (...) {
      break;  // no thread to be had: the others, or the caller's, do the work
    }
  }

  // On data where parses started elsewhere do not meet this one (a long run of one byte,
  // whose matches keep their phase), waiting for them only delays the writer: after a
  // chunk that did not meet, the writer parses a chunk itself rather than wait for it,
  // until one meets again; after four in a row, the other threads stop for this write.
  std::unique_ptr<DeflateWriter> own_parser;
  int misses_in_a_row = 0;
  for (std::size_t k = 1; k < chunks.size(); ++k) {
    ParseWatch watch;
    RunUntil(call_start + chunks[k].begin, &watch);
    const ParseAhead::State state = queue.Arrive(k, misses_in_a_row == 0, parallel_.always_meet, [&](std::size_t other) {
      return parse_into(&own_parser, other);
    });
    if (state == ParseAhead::State::kDone || state == ParseAhead::State::kFailed) {
      const bool met = state == ParseAhead::State::kDone && MeetAndTake(chunks[k], call_start);
      misses_in_a_row = met ? 0 : misses_in_a_row + 1;
      if (!met) ++counters_.misses;
      if (misses_in_a_row == 4) queue.Close();
    }
    if (state != ParseAhead::State::kLeft) chunks[k].symbols.reset();
  }
  queue.Close();
  for (std::thread &helper : helpers) helper.join();

  ParseWatch rest;
  RunUntil(ParseWatch::kNone, &rest);
}

template <class Position>
bool DeflateWriter<Position>::MeetAndTake(const ParseAhead &ahead, std::uint64_t call_start) {
  ParseWatch watch;
  watch.ahead = ahead.symbols.get();
  watch.ahead_count = ahead.count;
  watch.ahead_position = call_start + ahead.begin;
  watch.certify = max_distance_ + 1;
  RunUntil(call_start + ahead.end, &watch);
  if (!watch.met) return false;
  const std::uint64_t join = position();
  const std::uint32_t *rest = ahead.symbols.get() + watch.ahead_index;
  const std::size_t rest_count = ahead.count - watch.ahead_index;
  TakeSymbols(rest, rest_count);
  // A later search reaches back at most max_distance_ bytes; the positions the symbols
  // before that entered can never be found again.
  const std::uint64_t reach = position() - join > max_distance_ + 16 ? position() - max_distance_ - 16 : join;
  EnterPositions(rest, rest_count, reach);
  ++counters_.joins;
  counters_.bytes_taken += position() - join;
  return true;
}

// The matcher's loop with the decisions already made: the same refills, slides and block
// ends, without a search and without entering positions into the chains.
template <class Position>
void DeflateWriter<Position>::TakeSymbols(const std::uint32_t *symbols, std::size_t count) {
  SymbolCursor cursor = encoder_->cursor();
  std::uint32_t strstart = strstart_;
  std::uint32_t lookahead = lookahead_;
  const auto save = [&] {
    strstart_ = strstart;
    lookahead_ = lookahead;
    encoder_->Commit(cursor);
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (lookahead < kMinLookahead) {
      save();
      // The parse ahead decided here with this much input ahead, so the write holds it.
      while (lookahead_ < kMinLookahead && pending_count_ > 0) FillWindow();
      strstart = strstart_;
      lookahead = lookahead_;
    }
    const std::uint32_t word = symbols[i];
    const std::uint32_t length = SymbolCursor::Length(word);
    const bool flush = cursor.Packed(word);
    strstart += length;
    lookahead -= length;
    if (flush) {
      save();
      FlushBlock(false);
      cursor = encoder_->cursor();
    }
  }
  save();
}

// Enters the positions that `symbols` (which end at the current position) entered into the
// hash chains, from stream position `from` on, as the matcher's loop would have, in the same
// order; then starts the rolling hash afresh at the current position.
template <class Position>
void DeflateWriter<Position>::EnterPositions(const std::uint32_t *symbols, std::size_t count, std::uint64_t from) {
  // Back from the end to the first symbol that entered a position at or after `from`.
  std::uint64_t at = position();
  std::size_t first = count;
  while (first > 0 && at > from) at -= SymbolCursor::Length(symbols[--first]);

  std::uint8_t *const window = window_.get();
  Position *const head = head_.get();
  Position *const prev = prev_.get();
  Position *const skip = skip_.get();
  const std::uint32_t shift = hash_shift_;
  const auto enter = [&](std::uint64_t p) {
    if (p < from || p <= window_base_) return;  // beyond reach, or slid out of the window
    const auto w = static_cast<std::uint32_t>(p - window_base_);
    const std::uint32_t hash =
        ((std::uint32_t{window[w]} << 2 * shift) ^ (std::uint32_t{window[w + 1]} << shift) ^ window[w + 2]) &
        hash_mask_;
    const std::uint32_t previous = head[hash];
    prev[w & window_mask_] = static_cast<Position>(previous);
    if (skip != nullptr) skip[w & window_mask_] = prev[previous & window_mask_];
    head[hash] = static_cast<Position>(w);
  };
  for (std::size_t i = first; i < count; ++i) {
    const std::uint32_t length = SymbolCursor::Length(symbols[i]);
    if (length == 1 || length > kInsertLimit) {
      enter(at);
    } else {
      for (std::uint32_t j = 0; j < length; ++j) enter(at + j);
    }
    at += length;
  }
  hash_ = ((std::uint32_t{window[strstart_]} << shift) ^ window[strstart_ + 1]) & hash_mask_;
}

#define YDR_PARALLEL_MEMBERS(Position)                                                                       \
  template void DeflateWriter<Position>::CompressInParallel(const std::uint8_t *, int);                       \
  template bool DeflateWriter<Position>::MeetAndTake(const ParseAhead &, std::uint64_t);                      \
  template void DeflateWriter<Position>::TakeSymbols(const std::uint32_t *, std::size_t);                     \
  template void DeflateWriter<Position>::EnterPositions(const std::uint32_t *, std::size_t, std::uint64_t);
YDR_PARALLEL_MEMBERS(std::uint16_t)
YDR_PARALLEL_MEMBERS(std::uint32_t)
#undef YDR_PARALLEL_MEMBERS

}  // namespace ydr::gz
