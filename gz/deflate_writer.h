// A stream open for writing: the matcher that turns bytes into literals and matches, the
// block encoder, and the output buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "gz/bit_writer.h"
#include "gz/block_encoder.h"
#include "gz/output_buffer.h"
#include "gz/stream_handle.h"
#include "platform/cpu_targets.h"

namespace ydr::gz {

class StreamWriter : public YdrGZStream {
 public:
  StreamWriter() : YdrGZStream(Direction::kWrite) {}
  virtual ~StreamWriter() = default;
  // Takes `count` bytes (-1: the end of the input) and compresses as far as it can.
  virtual void Compress(const std::uint8_t *data, int count) = 0;
  // Ends the input, appends the trailer and hands out the rest.
  virtual void Finish() = 0;
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

// Positions in the window: 16 bits serve windows up to 32 KiB (2W positions); the 64 KiB
// window needs 32.
template <class Position>
class DeflateWriter final : public StreamWriter {
 public:
  DeflateWriter(YDRGZ_WRITE_FUNC write, void *user, const MemoryLevel &level, MatchSearch search);
  // False when memory ran out (the writer must then be destroyed).
  bool Allocate();

  void Compress(const std::uint8_t *data, int count) override;
  void Finish() override;

 private:
  void FillWindow();
  template <class Search>
  void Match(bool input_ended);
#if defined(YDR_X86_TARGETS)
  YDR_AVX2_TARGET void MatchWith32ByteCompares(bool input_ended);
#endif
  void FlushBlock(bool final);

  // Sizes from the memory level.
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
