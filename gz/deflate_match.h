// The matcher's loop, one template for every way of searching. Each way's loop is compiled
// in the file of its instruction set: deflate_writer.cpp (plain, and SSE2 where the build
// has it), deflate_match_avx2.cpp (AVX2).
#pragma once

#include "gz/deflate_writer.h"
#include "gz/match_search.h"

namespace ydr::gz {

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
      const match::ChainSearch search{window, window_mask, strstart > max_distance ? strstart - max_distance : 0};
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

}  // namespace ydr::gz
