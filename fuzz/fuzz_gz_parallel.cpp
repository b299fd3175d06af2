// One thread against several: input grown from the fuzz data (literal bytes and copies of
// earlier stretches, so that it has the matches real data has), written in pieces, must
// give the same stream, through the same callback calls, on one thread and on two or
// three with small chunks, at any memory level and either way of searching.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "gz/deflate_writer.h"
#include "tests/support/memory_streams.h"
#include "ydr/gz.h"

namespace {

using ydr::test::CallLog;
using ydr::test::LogCall;

// Bytes below 0xC0 are literals; a byte from 0xC0 copies 3..66 earlier bytes from up to
// 64 KiB back (the next two bytes), one to four times (the low bits of the one after).
std::string Grow(const std::uint8_t *data, std::size_t size, std::size_t limit) {
  std::string out;
  for (std::size_t i = 0; i < size && out.size() < limit; ++i) {
    if (data[i] < 0xC0 || i + 3 >= size || out.empty()) {
      out += static_cast<char>(data[i]);
      continue;
    }
    const std::size_t length = (data[i] & 63u) + 3;
    const std::size_t back = 1 + (data[i + 1] | data[i + 2] << 8) % out.size();
    const int repeats = 1 + (data[i + 3] & 3);
    i += 3;
    for (int r = 0; r < repeats && out.size() < limit; ++r) {
      for (std::size_t j = 0; j < length; ++j) out += out[out.size() - back];
    }
  }
  return out;
}

CallLog Compress(const std::string &input, int level, ydr::gz::MatchSearch search, int threads, std::uint32_t chunk,
                 std::size_t piece) {
  CallLog log;
  ydr::gz::StreamWriter *writer = ydr::gz::NewStreamWriter(LogCall, &log, level, search);
  if (writer == nullptr) std::abort();
  ydr::gz::ParallelSettings settings;
  settings.threads = threads;
  settings.chunk = chunk;
  settings.min_write = 2 * chunk;
  writer->set_parallel(settings);
  for (std::size_t at = 0; at < input.size(); at += piece, ++log.write_index) {
    YdrGZWrite(writer, input.data() + at, static_cast<int>(std::min(piece, input.size() - at)));
  }
  YdrGZCloseWrite(writer);
  return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4) return 0;
  const int level = data[0] % 3;
  const auto search = data[0] & 4 ? ydr::gz::MatchSearch::kPlain : ydr::gz::MatchSearch::kBest;
  const int threads = 2 + data[1] % 2;
  const std::uint32_t chunk = 16384u + 1024u * data[2];
  const std::string input = Grow(data + 4, size - 4, 600000);
  const std::size_t piece = data[3] < 128 ? input.size() + 1 : 1000u * data[3];

  const CallLog one = Compress(input, level, search, 1, chunk, piece);
  const CallLog several = Compress(input, level, search, threads, chunk, piece);
  if (one.bytes != several.bytes || one.calls != several.calls) std::abort();
  return 0;
}
