// Stream callbacks over memory for tests, benchmarks and fuzz targets (header-only).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ydr/gz.h"

namespace ydr::test {

// Write callback: appends to the std::string given as the user value.
inline int AppendToBytes(YDRGZ, void *bytes, const void *buffer, int count) {
  static_cast<std::string *>(bytes)->append(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
  return count;
}

// Write callback recording each call with the index of the write it came during.
struct CallLog {
  std::string bytes;
  std::vector<std::pair<int, int>> calls;  // (write index, count)
  int write_index = 0;
};

inline int LogCall(YDRGZ, void *user, const void *buffer, int count) {
  auto *log = static_cast<CallLog *>(user);
  log->bytes.append(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
  log->calls.emplace_back(log->write_index, count);
  return count;
}

// Read callback over memory, handing out at most `piece` bytes per call (0: as many as asked).
struct MemorySource {
  const char *data;
  std::size_t size;
  std::size_t position = 0;
  std::size_t piece = 0;

  MemorySource(const char *data_, std::size_t size_, std::size_t piece_ = 0)
      : data(data_), size(size_), piece(piece_) {}
  explicit MemorySource(const std::string *text, std::size_t piece_ = 0)
      : data(text->data()), size(text->size()), piece(piece_) {}
};

inline int ReadFromMemory(YDRGZ, void *source, void *buffer, int count) {
  auto *s = static_cast<MemorySource *>(source);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), s->size - s->position);
  if (s->piece > 0) n = std::min(n, s->piece);
  std::memcpy(buffer, s->data + s->position, n);
  s->position += n;
  return static_cast<int>(n);
}

}  // namespace ydr::test
