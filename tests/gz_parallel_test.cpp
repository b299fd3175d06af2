// The vector searches and large writes shared among threads give the plain stream and callback calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gz/deflate_writer.h"
#include "tests/support/gz_streams.h"
#include "tests/support/temp_dir.h"
#include "ydr/gz.h"

namespace ydr::test {
namespace {

using gz::MatchSearch;
using gz::ParallelSettings;

// Runs, short periods and far repeats: a parse started anywhere takes longest to meet.
Bytes RunsLike(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0: out.append(rng() % 600 + 1, static_cast<char>(rng())); break;
      case 1: {
        const Bytes period(rng() % 7 + 2, static_cast<char>(rng()));
        for (int i = static_cast<int>(rng() % 100); i > 0; --i) out += period + static_cast<char>('a' + i % 3);
        break;
      }
      case 2:
        if (out.size() > 5000) out += out.substr(out.size() - 5000 + rng() % 4000, rng() % 300 + 3);
        break;
      default: out += static_cast<char>(rng()); break;
    }
  }
  out.resize(size);
  return out;
}

// Writes `data` searching `search`'s way in `pieces` (-1: an end mark), then the rest at once, then closes.
CallLog WriteInPieces(const Bytes &data, int level, gz::MatchSearch search, const std::vector<int> &pieces,
                      const gz::ParallelSettings &parallel = {}, gz::ParallelCounters *counters = nullptr) {
  CallLog log;
  gz::StreamWriter *writer = gz::NewStreamWriter(LogCall, &log, level, search);
  writer->set_parallel(parallel);
  std::size_t at = 0;
  for (const int piece : pieces) {
    const std::size_t n = piece < 0 ? 0 : std::min(static_cast<std::size_t>(piece), data.size() - at);
    YdrGZWrite(writer, piece < 0 ? nullptr : data.data() + at, piece < 0 ? -1 : static_cast<int>(n));
    at += n;
    ++log.write_index;
  }
  if (at < data.size()) YdrGZWrite(writer, data.data() + at, static_cast<int>(data.size() - at));
  ++log.write_index;
  if (counters != nullptr) *counters = writer->parallel_counters();
  YdrGZCloseWrite(writer);
  return log;
}

struct Input {
  const char *name;
  Bytes data;
  bool always_joins;  // parses started anywhere meet the true one, whatever the timing
};

const std::vector<Input> &Inputs() {
  static const std::vector<Input> inputs = [] {
    const Bytes random = Noise(550000, 7);
    return std::vector<Input>{
        {"text", TextLike(700000, 1), false},
        {"binary", BinaryLike(800000, 2), true},
        {"runs", RunsLike(800000, 3), true},
        {"random", random, true},
        // Chunk edges in every kind; matches of exactly 32 bytes and of the longest length.
        {"mixed",
         TextLike(220000, 4) + random.substr(0, 150000) + RunsLike(220000, 5) + BinaryLike(220000, 6) +
             random.substr(0, 32) + "!" + random.substr(0, 32) + random.substr(0, 300),
         false},
        {"zeros", Bytes(700000, '\0'), false},
    };
  }();
  return inputs;
}

ParallelSettings Threads(int threads, std::uint32_t chunk, bool meet = false) {
  return {threads, chunk, 2 * chunk, meet};
}

// Small writes (little lookahead) between large ones, and end marks (-1) that writing goes on past.
std::vector<int> Pieces(const Bytes &data, std::mt19937 &rng) {
  std::vector<int> pieces;
  for (std::size_t sum = 0; sum < data.size(); sum += static_cast<std::size_t>(pieces.back())) {
    if (rng() % 50 == 0) pieces.push_back(-1);
    pieces.push_back(static_cast<int>(rng() % 8 != 0 ? rng() % 300 + 1 : rng() % 400000 + 1));
  }
  return pieces;
}

class MatchSearchWayTest : public testing::TestWithParam<MatchSearch> {};

TEST_P(MatchSearchWayTest, WritesThePlainWaysStreamInPieces) {
  const MatchSearch way = GetParam();
  if (ChooseMatchSearch(way) != way) GTEST_SKIP() << "this CPU lacks the way's instructions (or they are disabled)";
  std::mt19937 rng(12);
  for (const Input &input : Inputs()) {
    for (int level = 0; level <= 2; ++level) {
      SCOPED_TRACE(std::string(input.name) + " level " + std::to_string(level));
      const Bytes data = input.data.substr(0, input.data.size() - rng() % 70000);
      const std::vector<int> pieces = Pieces(data, rng);
      EXPECT_TRUE(WriteInPieces(data, level, way, pieces).bytes ==
                  WriteInPieces(data, level, MatchSearch::kPlain, pieces).bytes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, MatchSearchWayTest, testing::Values(MatchSearch::kVector16, MatchSearch::kVector32),
                         [](const testing::TestParamInfo<MatchSearch> &info) {
                           return info.param == MatchSearch::kVector16 ? "Vector16" : "Vector32";
                         });

TEST(GzParallelTest, AnyNumberOfThreadsGivesThePlainStreamThroughTheSameCalls) {
  // Small chunks for many joins, odd sizes for edges at every window offset.
  const ParallelSettings parallel[] = {Threads(2, 65536, true), Threads(3, 100003), Threads(4, 250000, true)};
  std::mt19937 rng(11);
  for (const Input &input : Inputs()) {
    for (int level = 0; level <= 2; ++level) {
      SCOPED_TRACE(std::string(input.name) + " level " + std::to_string(level));
      const CallLog serial = WriteInPieces(input.data, level, MatchSearch::kBest, {});
      for (const ParallelSettings &settings : parallel) {
        // The plain search decides as the vector ones do: one setting for it.
        const MatchSearch search = &settings == parallel ? MatchSearch::kPlain : MatchSearch::kBest;
        SCOPED_TRACE("threads " + std::to_string(settings.threads) + " chunk " + std::to_string(settings.chunk));
        gz::ParallelCounters counters;
        const CallLog run = WriteInPieces(input.data, level, search, {}, settings, &counters);
        ASSERT_EQ(run.bytes, serial.bytes);
        EXPECT_EQ(run.calls, serial.calls);
        if (input.always_joins && settings.always_meet) {
          EXPECT_GT(counters.joins, 0u);
          // Chunks holding whole blocks of symbols (a block of runs spans 60 KB or more).
          if (settings.chunk > 200000 && std::string(input.name) != "runs") {
            EXPECT_GT(counters.blocks_apart, 0u);
          }
        }
      }
      // Prefixes end the input around chunk edges, window slides and block ends.
      const Bytes data = input.data.substr(0, input.data.size() - rng() % 70000);
      const std::vector<int> pieces = Pieces(data, rng);
      const CallLog plain = WriteInPieces(data, level, MatchSearch::kPlain, pieces);
      const ParallelSettings settings = Threads(2 + static_cast<int>(rng() % 3), 40000 + rng() % 50000, level == 1);
      const CallLog run = WriteInPieces(data, level, MatchSearch::kBest, pieces, settings);
      EXPECT_TRUE(run.bytes == plain.bytes) << "in pieces";
      EXPECT_EQ(run.calls, plain.calls) << "in pieces";
    }
  }
}

// Short counts keep the rest, failures lose the piece, an exception leaves a closable handle: any threads.
TEST(GzParallelTest, TheCallbacksAnswersHaveTheSameEffectOnAnyNumberOfThreads) {
  enum Kind { kAll, kHalf, kFailEveryThird, kThrowOnce };
  struct Answering {
    Kind kind;
    CallLog log;
  };
  const Bytes data = BinaryLike(700000, 8);
  const int size = static_cast<int>(data.size());
  const Bytes stream = GzCompress(data);
  for (const Kind kind : {kAll, kHalf, kFailEveryThird, kThrowOnce}) {
    std::vector<CallLog> runs;
    for (const int threads : {1, 3}) {
      SCOPED_TRACE("answers " + std::to_string(kind) + " threads " + std::to_string(threads));
      Answering answering{kind, {}};
      gz::StreamWriter *writer = gz::NewStreamWriter(
          [](YDRGZ, void *user, const void *buffer, int count) {
            auto *a = static_cast<Answering *>(user);
            a->log.calls.emplace_back(a->log.write_index, count);
            const std::size_t calls = a->log.calls.size();
            if (a->kind == kFailEveryThird && calls % 3 == 0) return calls % 2 == 0 ? 0 : -1;
            if (a->kind == kThrowOnce && calls == 5) throw std::runtime_error("disk full");
            const int taken = a->kind == kHalf ? (count + 1) / 2 : count;
            a->log.bytes.append(static_cast<const char *>(buffer), static_cast<std::size_t>(taken));
            return taken;
          },
          &answering, 0, MatchSearch::kBest);
      writer->set_parallel(Threads(threads, 65536, true));
      if (kind == kThrowOnce) {
        EXPECT_THROW(YdrGZWrite(writer, data.data(), size), std::runtime_error);
      } else {
        EXPECT_EQ(YdrGZWrite(writer, data.data(), size), size);
      }
      ++answering.log.write_index;
      EXPECT_EQ(YdrGZCloseWrite(writer), 0);
      runs.push_back(answering.log);
    }
    const Bytes &bytes = runs[0].bytes;
    if (kind == kThrowOnce) {  // after the exception only closing follows: the calls up to it must agree
      for (CallLog &run : runs) {
        run.calls.resize(5);
        run.bytes.resize(4 * 4096);
      }
    } else if (kind == kHalf) {  // every byte in order; what is held at close is offered once more
      EXPECT_EQ(bytes, stream.substr(0, bytes.size()));
      EXPECT_GT(bytes.size(), stream.size() - 4096);
    } else {  // offered in pieces of 4096, the last shorter (close's included); every third lost if failed
      std::vector<int> offered, pieces;
      for (const auto &call : runs[0].calls) offered.push_back(call.second);
      Bytes kept;
      for (std::size_t at = 0; at < stream.size(); at += 4096) {
        pieces.push_back(static_cast<int>(std::min<std::size_t>(4096, stream.size() - at)));
        if (kind == kAll || at / 4096 % 3 != 2) kept += stream.substr(at, 4096);
      }
      EXPECT_EQ(offered, pieces);
      EXPECT_TRUE(bytes == kept) << bytes.size() << " bytes, not " << kept.size();
    }
    EXPECT_EQ(runs[0].calls, runs[1].calls);
    EXPECT_TRUE(runs[0].bytes == runs[1].bytes);
  }
}

TEST(GzParallelTest, TheThreadsSettingTakesWholeNumbersFromOneTo64) {
  const int fallback = [] {
    const ScopedEnv unset("YDR_GZ_THREADS", nullptr);
    return gz::DefaultParallelSettings().threads;
  }();
  EXPECT_TRUE(fallback >= 1 && fallback <= 4) << fallback;
  const struct {
    const char *value;
    int threads;
  } cases[] = {{"1", 1}, {"3", 3}, {"64", 64}, {"0", fallback}, {"65", fallback}, {"4x", fallback}, {"", fallback}};
  for (const auto &c : cases) {
    const ScopedEnv setting("YDR_GZ_THREADS", c.value);
    EXPECT_EQ(gz::DefaultParallelSettings().threads, c.threads) << "YDR_GZ_THREADS=" << c.value;
  }
}

}  // namespace
}  // namespace ydr::test
