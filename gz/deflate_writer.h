// A stream open for writing: the matcher that turns bytes into literals and matches, the
// block encoder, and the output buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gz/bit_writer.h"
#include "gz/block_encoder.h"
#include "gz/output_buffer.h"
#include "gz/stream_handle.h"
#include "portable/cpu_targets.h"

namespace ydr::gz {

// The matcher stops for more input with fewer bytes than this ahead (the longest match plus
// the shortest, plus one), so that every match it measures lies in the input.
inline constexpr std::uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
// Matches up to this long have every position inside them entered into the hash chains.
inline constexpr std::uint32_t kInsertLimit = 6;

// How large writes are shared among threads. The stream is the same byte for byte with any
// settings; they change only how fast it is made.
struct ParallelSettings {
  int threads = 1;                     // 1: one thread, the caller's
  std::uint32_t chunk = 1u << 20;      // the longest chunk (each parse runs on past it, and the last may be longer)
  std::uint32_t min_write = 2u << 20;  // writes smaller than this stay on the caller's thread
  // Every chunk parsed ahead and met, however the threads are timed (for tests, whose counts
  // of joins must not depend on the machine's load).
  bool always_meet = false;
};

// As many threads as the processors this process may run on, at most 4; YDR_GZ_THREADS
// (1 to 64) overrides. New writers start with these.
ParallelSettings DefaultParallelSettings();

// What the threads of a writer did, for tests and benchmarks: a chunk parsed ahead is joined
// (its symbols taken from the join on) or missed (the two parses never met, or there was no
// memory for its parse); a chunk nobody had started, or the writer stopped waiting for, is
// parsed by the writer itself and counted in neither.
struct ParallelCounters {
  std::uint64_t bytes_taken = 0;  // input bytes whose symbols came from another thread
  std::uint32_t joins = 0;
  std::uint32_t misses = 0;
  std::uint32_t blocks_apart = 0;  // blocks coded apart from the stream and spliced in
};

class StreamWriter : public YdrGZStream {
 public:
  StreamWriter() : YdrGZStream(Direction::kWrite) {}
  virtual ~StreamWriter() = default;
  // Takes `count` bytes (-1: the end of the input) and compresses as far as it can.
  virtual void Compress(const std::uint8_t *data, int count) = 0;
  // Ends the input, appends the trailer and hands out the rest.
  virtual void Finish() = 0;

  void set_parallel(const ParallelSettings &settings) { parallel_ = settings; }
  const ParallelCounters &parallel_counters() const { return counters_; }

 protected:
  ParallelSettings parallel_;  // one thread until set
  ParallelCounters counters_;
};

// How the matcher searches its chains. Every way finds the same matches, so the output is
// the same. kBest is the fastest this CPU allows (kPlain under YDR_DISABLE_CPU_FEATURES); a
// way asked for by name that the CPU lacks gives the next best.
enum class MatchSearch {
  kBest,
  kPlain,     // compares a candidate only where it can do better, byte words at a time
  kVector16,  // every candidate's first 32 bytes at once, in 16-byte registers
  kVector32,  // the same in 32-byte registers (AVX2)
};
MatchSearch ChooseMatchSearch(MatchSearch wanted);

// A new writer for a memory level, or null when memory runs out.
StreamWriter *NewStreamWriter(YDRGZ_WRITE_FUNC write, void *user, int memory_level,
                              MatchSearch search = MatchSearch::kBest);

// What the matcher's loop checks before each decision when the parallel path drives it: a
// stream position to stop at, and a parse made ahead by another thread to meet. The two
// parses have met ("certified join") at a position where both start a decision and every
// decision of both in the `certify` bytes before it was the same: the positions entered
// into the hash chains within reach of a match are then the same in both, so from there on
// the parse made ahead is the one this writer would make.
struct ParseWatch {
  static constexpr bool kActive = true;
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};

  std::uint64_t stop_at = kNone;         // stop before deciding at or past this position
  const std::uint32_t *ahead = nullptr;  // the other parse's symbols (null: none to meet)
  std::size_t ahead_count = 0;
  std::size_t ahead_index = 0;       // its next symbol,
  std::uint64_t ahead_position = 0;  // and where that symbol starts
  std::uint64_t certify = 0;
  std::uint64_t agree_from = kNone;  // where the present run of equal decisions began
  bool met = false;

  // True when the loop must stop before deciding at `position`.
  bool StopBefore(std::uint64_t position) {
    while (ahead_index < ahead_count && ahead_position < position) {
      ahead_position += SymbolCursor::Length(ahead[ahead_index++]);
    }
    if (agree_from != kNone && ahead_index < ahead_count && ahead_position == position &&
        position - agree_from >= certify) {
      met = true;
      return true;
    }
    return position >= stop_at;
  }
  // The loop decided `word` at `position` (after StopBefore said go on).
  void Decided(std::uint64_t position, std::uint32_t word) {
    if (ahead_index < ahead_count && ahead_position == position && ahead[ahead_index] == word) {
      if (agree_from == kNone) agree_from = position;
    } else {
      agree_from = kNone;
    }
  }
};

// The parallel path's work: chunks of one write parsed ahead on other threads, and the
// blocks of their symbols coded there.
struct ParallelWrite;
struct BlockToCode;

// Positions in the window: 16 bits serve windows up to 32 KiB (2W positions); the 64 KiB
// window needs 32.
template <class Position>
class DeflateWriter final : public StreamWriter {
 public:
  DeflateWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level, MatchSearch search);
  // A writer that only parses, into a symbol buffer of its own, for the parallel path: no
  // block encoder, no check value, no output.
  DeflateWriter(const MemoryLevel &level, MatchSearch search);
  // False when memory ran out (the writer must then be destroyed).
  bool Allocate();

  void Compress(const std::uint8_t *data, int count) override;
  void Finish() override;

  // Parsing ahead (writers made by the second constructor): parses `data` from an empty
  // window, as far as this writer would go before waiting for more input, into `symbols`
  // (room for count + 1), and returns how many it made.
  std::size_t ParseOnly(const std::uint8_t *data, std::size_t count, std::uint32_t *symbols);

 private:
  // The loop as it runs without the parallel path's checks.
  struct NoWatch {
    static constexpr bool kActive = false;
    bool StopBefore(std::uint64_t) { return false; }
    void Decided(std::uint64_t, std::uint32_t) {}
  };
  void FillWindow();
  template <class Watch>
  void Run(bool input_ended, Watch *watch);
  template <class Search, class Watch>
  void Match(bool input_ended, Watch *watch);
#if defined(YDR_X86_TARGETS)
  template <class Watch>
  YDR_AVX2_TARGET void MatchWith32ByteCompares(bool input_ended, Watch *watch);
#endif
  void FlushBlock(bool final);
  SymbolCursor Cursor();
  void Commit(const SymbolCursor &cursor);

  // The parallel path (deflate_parallel.cpp).
  void CompressInParallel(const std::uint8_t *data, int count);
  void RunUntil(std::uint64_t stop_at, ParseWatch *watch);
  void TakeSymbols(const std::uint32_t *symbols, std::size_t count);
  void SpliceCodedBlocks(bool wait);
  void QueueOwnBlock(const std::uint8_t *bytes, std::uint32_t length);
  void Splice(const BlockToCode &block);
  void CodeInPlace(const BlockToCode &block);
  void EnterPositions(const std::uint32_t *symbols, std::size_t count, std::uint64_t from);
  bool MeetAndTake(std::size_t chunk);
  std::uint64_t position() const { return window_base_ + strstart_; }

  // Sizes from the memory level.
  const MemoryLevel level_;
  const std::uint32_t window_size_;
  const std::uint32_t window_mask_;
  const std::uint32_t hash_size_;
  const std::uint32_t hash_mask_;
  const std::uint32_t hash_shift_;
  const std::uint32_t max_distance_;  // how far back a match may reach
  const std::uint32_t slide_at_;      // the position at which the window slides

  std::unique_ptr<std::uint8_t[]> window_;  // 4W bytes; 2W in use, the rest stays zero
  std::unique_ptr<Position[]> prev_;        // predecessor links, by position mod W
  std::unique_ptr<Position[]> head_;        // chain heads, by hash
  std::unique_ptr<Position[]> skip_;        // second predecessors, by position mod W (vector search only)
  std::unique_ptr<BlockEncoder> encoder_;

  // Matcher state.
  std::uint32_t hash_ = 0;                    // the rolling hash of the last position entered
  std::uint32_t strstart_ = 0;                // the current position
  std::uint32_t lookahead_ = 0;               // bytes in the window ahead of it
  std::int64_t block_start_ = 0;              // where the current block's bytes start (negative: slid out)
  MatchSearch search_ = MatchSearch::kPlain;  // as chosen for this CPU
  bool resume_ = false;                       // inside a stream, waiting for more input
  bool primed_ = false;                       // the rolling hash has been started
  std::uint64_t window_base_ = 0;             // the stream position of window byte 0
  std::uint64_t taken_ = 0;                   // bytes taken into the window so far
  ParallelWrite *parallel_write_ = nullptr;   // during a write shared among threads
  // Symbol buffers of chunks parsed ahead, kept for the next large write (page faults and
  // the zeroing of fresh memory would otherwise cost every chunk a tenth of its parse).
  std::vector<std::unique_ptr<std::uint32_t[]>> spare_symbols_;
  std::size_t spare_capacity_ = 0;

  // Parsing only: the symbols go here instead of to the block encoder.
  const bool parse_only_ = false;
  std::uint32_t *sink_ = nullptr;
  std::size_t sink_count_ = 0;
  std::size_t sink_capacity_ = 0;
  std::uint16_t sink_litlen_freq_[kLitLenCodes] = {};
  std::uint16_t sink_dist_freq_[kDistCodes + 2] = {};

  // The caller's bytes of the current call.
  const std::uint8_t *pending_ = nullptr;
  int pending_count_ = 0;

  std::uint32_t crc_register_ = 0xFFFFFFFFu;
  std::uint32_t bytes_in_ = 0;

  OutputBuffer output_;
  BitWriter bits_{&output_};
};

extern template class DeflateWriter<std::uint16_t>;
extern template class DeflateWriter<std::uint32_t>;

}  // namespace ydr::gz
