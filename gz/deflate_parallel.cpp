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
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gz/deflate_writer.h"
#include "platform/process.h"
#include "portable/byte_order.h"

namespace ydr::gz {

ParallelSettings DefaultParallelSettings() {
  // The processors this process may run on, counted once.
  static const unsigned processors = platform::UsableProcessors();
  ParallelSettings settings;
  settings.threads = static_cast<int>(std::min(std::max(processors, 1u), 4u));
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
  std::unique_ptr<std::uint32_t[]> symbols;  // room for end - begin + 1
  std::size_t count = 0;
  std::size_t blocks_out = 0;  // its blocks given to other threads and not yet spliced in
};

// A whole block of symbols parsed ahead, coded by whichever thread takes it on a bit stream
// of its own, for the writer to splice into the stream in order.
struct BlockToCode {
  enum class State { kWaiting, kRunning, kDone, kFailed };
  State state = State::kWaiting;
  std::size_t chunk = 0;
  const std::uint32_t *symbols = nullptr;  // BlockEncoder::kMaxSymbols of them
  const std::uint8_t *bytes = nullptr;     // its input, if the writer could store it
  std::uint32_t length = 0;                // input bytes
  // The coded block: whole bytes, then fewer than 32 bits. A stored block starts at a byte
  // boundary of the stream, so only the writer can write it, when it splices it in: then
  // `coded` holds its bytes if `bytes` is null.
  std::string coded;
  std::uint64_t rest_bits = 0;
  int rest_count = 0;
  bool stored = false;
};

namespace {

// What one thread needs to code blocks apart.
struct BlockCoder {
  BlockEncoder encoder;
  OutputBuffer output;
  BitWriter bits{&output};
};

int AppendToString(YDRGZ, void *user, const void *bytes, int count) {
  try {
    static_cast<std::string *>(user)->append(static_cast<const char *>(bytes), static_cast<std::size_t>(count));
    return count;
  } catch (...) {
    return -1;
  }
}

// The most bytes a block can take: 48 bits a symbol, and its code tables.
constexpr std::size_t kMostCoded = BlockEncoder::kMaxSymbols * 6 + 512;

bool CodeApart(BlockCoder *coder, BlockToCode *block) {
  try {
    block->coded.reserve(kMostCoded);
  } catch (...) {
    return false;
  }
  SymbolCursor cursor = coder->encoder.cursor();
  for (int i = 0; i < BlockEncoder::kMaxSymbols; ++i) cursor.Packed(block->symbols[i]);
  coder->encoder.Commit(cursor);
  coder->output.Attach(nullptr, AppendToString, &block->coded);
  const std::uint32_t before = coder->output.bytes_out();
  coder->encoder.FlushBlock(block->bytes, block->length, false, coder->bits);
  coder->output.FlushAll();
  coder->bits.TakeRest(&block->rest_bits, &block->rest_count);
  block->stored = coder->encoder.last_kind() == BlockEncoder::Kind::kStored;
  return coder->output.bytes_out() - before == block->coded.size();  // else memory ran out
}

}  // namespace

// The work of one write shared among threads: the chunks, handed out in order to whichever
// thread asks first, and the blocks to code, which go first. At most `ahead_limit` chunks
// past the one the writer is at are parsed ahead, which bounds the memory their symbols take
// (with the chunks whose blocks are still being coded, and one the writer stopped waiting
// for, until its parse ends).
struct ParallelWrite {
  static constexpr std::size_t kNone = ~std::size_t{0};
  enum class Job { kNone, kParse, kCode };

  ParallelWrite(std::size_t chunk_count, std::size_t ahead_limit)
      : chunks(chunk_count), ahead_limit_(ahead_limit), limit_(1 + ahead_limit) {}

  std::vector<ParseAhead> chunks;
  // The blocks not yet spliced in; block i (counting from the write's first) is at
  // i - popped. A deque: its elements stay where they are as it grows and shrinks at the
  // front. Only the writer's thread changes it; the others reach a block through the
  // pointer handed out with their job, or under the lock.
  std::deque<BlockToCode> blocks;
  std::size_t popped = 0;
  std::size_t block_count() const { return popped + blocks.size(); }
  BlockToCode &Block(std::size_t i) { return blocks[i - popped]; }
  void PopBlock() {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks.pop_front();
    ++popped;
  }

  // Symbol buffers for a chunk's parse: the writer's spares, each with room for `capacity`
  // symbols, serve every chunk but a longer last one, which gets its own.
  std::unique_ptr<std::uint32_t[]> TakeBuffer(std::size_t room) {
    if (room <= capacity) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!spares->empty()) {
        std::unique_ptr<std::uint32_t[]> buffer = std::move(spares->back());
        spares->pop_back();
        return buffer;
      }
    }
    return std::unique_ptr<std::uint32_t[]>(new (std::nothrow) std::uint32_t[std::max(room, capacity)]);
  }
  void ReturnBuffer(ParseAhead *chunk) {
    std::lock_guard<std::mutex> lock(mutex_);
    ReturnBufferLocked(chunk);
  }
  std::vector<std::unique_ptr<std::uint32_t[]>> *spares = nullptr;
  std::size_t capacity = 0;

  // The writer's side.
  const std::uint8_t *data = nullptr;  // the write
  std::uint64_t start = 0;             // the stream position of data[0]
  std::size_t spliced = 0;             // blocks spliced into the stream so far (and popped)
  std::size_t taking = kNone;          // the chunk whose symbols the writer is taking
  std::function<bool(Job, std::size_t, BlockToCode *)> own_jobs;
  std::unique_ptr<BlockEncoder> in_place;  // codes a block no thread could, straight into the stream
  OutputBuffer own_output;                 // the writer's own blocks, coded apart
  BitWriter own_bits{&own_output};

  // The next job for a thread of the write; kNone once the write is over.
  Job Claim(std::size_t *index, BlockToCode **block) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (closed_) return Job::kNone;
      const Job job = ClaimLocked(index, block);
      if (job != Job::kNone) return job;
      changed_.wait(lock);
    }
  }

  void Finish(Job job, std::size_t index, bool done) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      FinishLocked(job, index, done);
    }
    changed_.notify_all();
  }

  // The writer has arrived at chunk `index`: the chunks after it may now be parsed ahead.
  // A chunk nobody has started, the writer parses itself (kOwnParse), or with `always_meet`
  // parses ahead like the other threads. One being parsed, with `help`, the writer waits
  // for, doing other jobs in the meantime; without it (when parses have lately not met),
  // the writer leaves it and parses the chunk itself.
  template <class DoJob>
  ParseAhead::State Arrive(std::size_t index, bool help, bool always_meet, DoJob do_job) {
    std::unique_lock<std::mutex> lock(mutex_);
    limit_ = index + ahead_limit_;
    changed_.notify_all();
    for (;;) {
      ParseAhead &chunk = chunks[index];
      if (chunk.state == ParseAhead::State::kWaiting) {
        next_chunk_ = index + 1;  // chunks are taken in order: none after it has been
        if (!always_meet) {
          chunk.state = ParseAhead::State::kOwnParse;
          return chunk.state;
        }
        chunk.state = ParseAhead::State::kRunning;
        RunLocked(&lock, Job::kParse, index, nullptr, do_job);
        continue;
      }
      if (chunk.state != ParseAhead::State::kRunning) return chunk.state;
      if (!help && !always_meet) {
        chunk.state = ParseAhead::State::kLeft;  // its thread still writes its symbols
        return chunk.state;
      }
      std::size_t other;
      BlockToCode *block = nullptr;
      const Job job = ClaimLocked(&other, &block);
      if (job != Job::kNone) {
        RunLocked(&lock, job, other, block, do_job);
        continue;
      }
      changed_.wait(lock);
    }
  }

  // Block `index` coded, by the writer itself if nobody has taken it; false if it could
  // not be (memory ran out), when the writer codes it in place.
  template <class DoJob>
  bool AwaitBlock(std::size_t index, DoJob do_job) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      BlockToCode &block = Block(index);
      if (block.state == BlockToCode::State::kWaiting) {
        block.state = BlockToCode::State::kRunning;
        RunLocked(&lock, Job::kCode, index, &block, do_job);
        continue;
      }
      if (block.state == BlockToCode::State::kDone) return true;
      if (block.state == BlockToCode::State::kFailed) return false;
      changed_.wait(lock);
    }
  }

  // False when memory ran out.
  bool AddBlock(BlockToCode *block) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      try {
        blocks.push_back(std::move(*block));
      } catch (...) {
        return false;
      }
    }
    changed_.notify_all();
    return true;
  }

  bool Done(std::size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Block(index).state == BlockToCode::State::kDone;
  }

  // No more chunks are parsed ahead (blocks are still coded).
  void StopParsing() {
    std::lock_guard<std::mutex> lock(mutex_);
    parsing_stopped_ = true;
  }

  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }

 private:
  void ReturnBufferLocked(ParseAhead *chunk) {
    if (!chunk->symbols) return;
    if (chunk->end - chunk->begin + 1 <= capacity) {
      try {
        spares->push_back(std::move(chunk->symbols));
      } catch (...) {
        // freed below instead
      }
    }
    chunk->symbols.reset();
  }

  Job ClaimLocked(std::size_t *index, BlockToCode **block) {
    next_block_ = std::max(next_block_, popped);
    while (next_block_ < block_count() && Block(next_block_).state != BlockToCode::State::kWaiting) ++next_block_;
    if (next_block_ < block_count()) {
      *index = next_block_++;
      *block = &Block(*index);
      (*block)->state = BlockToCode::State::kRunning;
      return Job::kCode;
    }
    if (!parsing_stopped_ && next_chunk_ < chunks.size() && next_chunk_ <= limit_) {
      *index = next_chunk_++;
      chunks[*index].state = ParseAhead::State::kRunning;
      return Job::kParse;
    }
    return Job::kNone;
  }

  void FinishLocked(Job job, std::size_t index, bool done) {
    if (job == Job::kCode) {
      Block(index).state = done ? BlockToCode::State::kDone : BlockToCode::State::kFailed;
    } else if (chunks[index].state == ParseAhead::State::kRunning) {
      chunks[index].state = done ? ParseAhead::State::kDone : ParseAhead::State::kFailed;
    } else if (chunks[index].state == ParseAhead::State::kLeft) {
      ReturnBufferLocked(&chunks[index]);  // the writer has parsed it itself
    }
  }

  template <class DoJob>
  void RunLocked(std::unique_lock<std::mutex> *lock, Job job, std::size_t index, BlockToCode *block, DoJob &do_job) {
    lock->unlock();
    const bool done = do_job(job, index, block);
    lock->lock();
    FinishLocked(job, index, done);
    changed_.notify_all();
  }

  const std::size_t ahead_limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_chunk_ = 1;  // chunk 0 is the writer's own
  std::size_t next_block_ = 0;
  std::size_t limit_;
  bool parsing_stopped_ = false;
  bool closed_ = false;
};

namespace {

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
  // Everything the write shares is made before anything else changes: without the memory
  // for it, the write is compressed here alone, as it would be on one thread.
  const auto alone = [&] {
    ParseWatch none;
    RunUntil(ParseWatch::kNone, &none);
  };
  std::unique_ptr<ParallelWrite> shared;
  try {
    shared.reset(new ParallelWrite(length / chunk, static_cast<std::size_t>(parallel_.threads) + 1));
  } catch (...) {
    alone();
    return;
  }
  ParallelWrite &work = *shared;
  std::vector<ParseAhead> &chunks = work.chunks;
  for (std::size_t k = 1; k < chunks.size(); ++k) {
    chunks[k].begin = k * chunk;
    chunks[k].end = std::min(length, (k + 1) * chunk + overrun);
  }
  chunks.back().end = length;
  work.data = data;
  work.start = call_start;
  work.capacity = chunk + overrun + 1;  // every chunk's parse but perhaps the last
  if (spare_capacity_ != work.capacity) spare_symbols_.clear();
  spare_capacity_ = work.capacity;
  work.spares = &spare_symbols_;
  work.in_place.reset(new (std::nothrow) BlockEncoder());

  // Each thread's job runner: a parser for chunks and a coder for blocks, made on first use.
  struct Tools {
    std::unique_ptr<DeflateWriter> parser;
    std::unique_ptr<BlockCoder> coder;
  };
  const auto do_job = [&](Tools *tools, ParallelWrite::Job job, std::size_t index, BlockToCode *block) {
    if (job == ParallelWrite::Job::kCode) {
      if (!tools->coder) tools->coder.reset(new (std::nothrow) BlockCoder());
      return tools->coder != nullptr && CodeApart(tools->coder.get(), block);
    }
    if (!tools->parser) {
      tools->parser.reset(new (std::nothrow) DeflateWriter(level_, search_));
      if (tools->parser && !tools->parser->Allocate()) tools->parser.reset();
      if (!tools->parser) return false;
    }
    ParseAhead &c = chunks[index];
    c.symbols = work.TakeBuffer(c.end - c.begin + 1);
    if (!c.symbols) return false;
    c.count = tools->parser->ParseOnly(data + c.begin, c.end - c.begin, c.symbols.get());
    return true;
  };
  Tools own;
  try {
    work.own_jobs = [&](ParallelWrite::Job job, std::size_t index, BlockToCode *block) {
      return do_job(&own, job, index, block);
    };
  } catch (...) {
  }
  if (!work.in_place || !work.own_jobs) {
    alone();
    return;
  }
  // However the write ends (a callback may throw), the other threads stop and are joined
  // before what they use goes, and the writer is a one-thread writer again.
  std::vector<std::thread> helpers;
  struct Ending {
    DeflateWriter *writer;
    ParallelWrite *work;
    std::vector<std::thread> *helpers;
    ~Ending() {
      work->Close();
      for (std::thread &helper : *helpers) helper.join();
      writer->parallel_write_ = nullptr;
      // Two buffers serve the next write's first chunks; more is memory held for nothing.
      if (writer->spare_symbols_.size() > 2) writer->spare_symbols_.resize(2);
    }
  } ending{this, &work, &helpers};
  parallel_write_ = &work;

  for (int t = 1; t < parallel_.threads; ++t) {
    try {
      helpers.emplace_back([&] {
        Tools tools;
        std::size_t index;
        BlockToCode *block = nullptr;
        for (ParallelWrite::Job job; (job = work.Claim(&index, &block)) != ParallelWrite::Job::kNone;) {
          work.Finish(job, index, do_job(&tools, job, index, block));
        }
      });
    } catch (...) {
      break;  // no thread to be had: the others, or the caller's, do the work
    }
  }

  // On data where parses started elsewhere do not meet this one (a long run of one byte,
  // whose matches keep their phase), waiting for them only delays the writer: after a
  // chunk that did not meet, the writer parses a chunk itself rather than wait for it,
  // until one meets again; after four in a row, no more chunks are parsed ahead.
  int misses_in_a_row = 0;
  for (std::size_t k = 1; k < chunks.size(); ++k) {
    ParseWatch watch;
    RunUntil(call_start + chunks[k].begin, &watch);
    const ParseAhead::State state = work.Arrive(k, misses_in_a_row == 0, parallel_.always_meet, work.own_jobs);
    if (state == ParseAhead::State::kDone || state == ParseAhead::State::kFailed) {
      const bool met = state == ParseAhead::State::kDone && MeetAndTake(k);
      misses_in_a_row = met ? 0 : misses_in_a_row + 1;
      if (!met) ++counters_.misses;
      if (misses_in_a_row == 4) work.StopParsing();
    }
    if (state != ParseAhead::State::kLeft && chunks[k].blocks_out == 0) work.ReturnBuffer(&chunks[k]);
    SpliceCodedBlocks(false);
  }
  ParseWatch rest;
  RunUntil(ParseWatch::kNone, &rest);
  SpliceCodedBlocks(true);  // what one thread would have handed out before the write returns
}

template <class Position>
bool DeflateWriter<Position>::MeetAndTake(std::size_t index) {
  const ParseAhead &ahead = parallel_write_->chunks[index];
  const std::uint64_t call_start = parallel_write_->start;
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
  parallel_write_->taking = index;
  TakeSymbols(rest, rest_count);
  parallel_write_->taking = ParallelWrite::kNone;
  // A later search reaches back at most max_distance_ bytes; the positions the symbols
  // before that entered can never be found again.
  const std::uint64_t reach = position() - join > max_distance_ + 16 ? position() - max_distance_ - 16 : join;
  EnterPositions(rest, rest_count, reach);
  ++counters_.joins;
  counters_.bytes_taken += position() - join;
  return true;
}

// The matcher's loop with the decisions already made: the same refills, slides and block
// ends, without a search and without entering positions into the chains. The block in
// progress holds symbols from before the join and is coded here; the whole blocks after it
// are cut where one thread would cut them (every kMaxSymbols symbols) and go to the other
// threads to code; the rest starts the next block in progress.
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
  const auto refill = [&] {
    if (lookahead >= kMinLookahead) return;
    save();
    // The parse ahead decided here with this much input ahead, so the write holds it.
    while (lookahead_ < kMinLookahead && pending_count_ > 0) FillWindow();
    strstart = strstart_;
    lookahead = lookahead_;
  };
  // Into the block in progress; true when it was flushed.
  const auto take = [&](std::uint32_t word) {
    refill();
    const std::uint32_t length = SymbolCursor::Length(word);
    const bool flush = cursor.Packed(word);
    strstart += length;
    lookahead -= length;
    if (!flush) return false;
    save();
    FlushBlock(false);
    cursor = encoder_->cursor();
    return true;
  };

  std::size_t i = 0;
  while (i < count && !take(symbols[i++])) {
  }
  ParallelWrite &work = *parallel_write_;
  constexpr std::size_t kBlock = BlockEncoder::kMaxSymbols;
  for (; count - i >= kBlock; i += kBlock) {
    const std::uint64_t first = window_base_ + strstart;
    for (std::size_t j = i; j < i + kBlock; ++j) {
      refill();
      const std::uint32_t length = SymbolCursor::Length(symbols[j]);
      strstart += length;
      lookahead -= length;
    }
    save();
    BlockToCode block;
    block.chunk = work.taking;
    block.symbols = symbols + i;
    block.length = static_cast<std::uint32_t>(static_cast<std::int64_t>(strstart_) - block_start_);
    block.bytes = block_start_ >= 0 ? work.data + (first - work.start) : nullptr;
    ++work.chunks[work.taking].blocks_out;
    if (!work.AddBlock(&block)) {
      --work.chunks[work.taking].blocks_out;
      SpliceCodedBlocks(true);
      CodeInPlace(block);
    }
    block_start_ = strstart_;
  }
  while (i < count) take(symbols[i++]);
  save();
}

// A block the writer flushes during a shared write: coded apart like the others and queued
// behind them.
template <class Position>
void DeflateWriter<Position>::QueueOwnBlock(const std::uint8_t *bytes, std::uint32_t length) {
  ParallelWrite &work = *parallel_write_;
  BlockToCode block;
  block.state = BlockToCode::State::kDone;
  block.chunk = ParallelWrite::kNone;
  try {
    block.coded.reserve(kMostCoded);
  } catch (...) {
    SpliceCodedBlocks(true);  // no memory to hold it: everything before it out, then it
    encoder_->FlushBlock(bytes, length, false, bits_);
    return;
  }
  work.own_output.Attach(nullptr, AppendToString, &block.coded);
  encoder_->FlushBlock(bytes, length, false, work.own_bits);
  work.own_output.FlushAll();
  work.own_bits.TakeRest(&block.rest_bits, &block.rest_count);
  if (encoder_->last_kind() == BlockEncoder::Kind::kStored) {
    block.stored = true;
    block.length = length;
    block.coded.assign(reinterpret_cast<const char *>(bytes), length);  // the window moves on
  }
  if (!work.AddBlock(&block)) {
    SpliceCodedBlocks(true);
    Splice(block);
  }
}

// Writes a block coded apart into the stream.
template <class Position>
void DeflateWriter<Position>::Splice(const BlockToCode &block) {
  const auto *coded = reinterpret_cast<const std::uint8_t *>(block.coded.data());
  if (block.stored) {
    BlockEncoder::WriteStored(block.bytes != nullptr ? block.bytes : coded, block.length, false, bits_);
    return;
  }
  const std::size_t size = block.coded.size();
  std::size_t at = 0;
  for (; at + 4 <= size; at += 4) bits_.Put(portable::LoadLittleEndian32(coded + at), 32);
  for (; at < size; ++at) bits_.Put(coded[at], 8);
  bits_.Put(static_cast<std::uint32_t>(block.rest_bits), block.rest_count);
}

// A whole block of symbols no thread could code (memory ran out), coded straight into the
// stream.
template <class Position>
void DeflateWriter<Position>::CodeInPlace(const BlockToCode &block) {
  BlockEncoder &encoder = *parallel_write_->in_place;
  SymbolCursor cursor = encoder.cursor();
  for (int i = 0; i < BlockEncoder::kMaxSymbols; ++i) cursor.Packed(block.symbols[i]);
  encoder.Commit(cursor);
  encoder.FlushBlock(block.bytes, block.length, false, bits_);
}

// Splices the blocks coded apart into the stream, in order: those done (with `wait`, all,
// coding here those nobody has taken).
template <class Position>
void DeflateWriter<Position>::SpliceCodedBlocks(bool wait) {
  ParallelWrite &work = *parallel_write_;
  for (; work.spliced < work.block_count(); ++work.spliced) {
    if (!wait && !work.Done(work.spliced)) return;
    BlockToCode &block = work.Block(work.spliced);
    if (work.AwaitBlock(work.spliced, work.own_jobs)) {
      Splice(block);
    } else {
      CodeInPlace(block);
    }
    const std::size_t chunk_index = block.chunk;
    work.PopBlock();
    if (chunk_index == ParallelWrite::kNone) continue;  // the writer's own
    ++counters_.blocks_apart;
    ParseAhead &chunk = work.chunks[chunk_index];
    if (--chunk.blocks_out == 0 && chunk_index != work.taking) work.ReturnBuffer(&chunk);
  }
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

#define YDR_PARALLEL_MEMBERS(Position)                                                       \
  template void DeflateWriter<Position>::CompressInParallel(const std::uint8_t *, int);      \
  template bool DeflateWriter<Position>::MeetAndTake(std::size_t);                           \
  template void DeflateWriter<Position>::SpliceCodedBlocks(bool);                            \
  template void DeflateWriter<Position>::QueueOwnBlock(const std::uint8_t *, std::uint32_t); \
  template void DeflateWriter<Position>::Splice(const BlockToCode &);                        \
  template void DeflateWriter<Position>::CodeInPlace(const BlockToCode &);                   \
  template void DeflateWriter<Position>::TakeSymbols(const std::uint32_t *, std::size_t);    \
  template void DeflateWriter<Position>::EnterPositions(const std::uint32_t *, std::size_t, std::uint64_t);
YDR_PARALLEL_MEMBERS(std::uint16_t)
YDR_PARALLEL_MEMBERS(std::uint32_t)
#undef YDR_PARALLEL_MEMBERS

}  // namespace ydr::gz
