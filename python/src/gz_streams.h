// The library's stream reader and writer as the package drives them: a reader that pulls its
// compressed bytes from memory, a descriptor, a range of a file or a Python file object and
// reads every stream that follows another, and a writer that gathers its output for the
// caller to take.
//
// Neither calls into Python with the GIL released except through a PyFileSource, which takes
// the GIL for each piece it reads (64 KiB at a time).
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "python/src/binding.h"
#include "ydr/gz.h"

namespace ydr::python {

// Where a reader's compressed bytes come from.
class Source {
 public:
  virtual ~Source() = default;
  // Up to `count` bytes into `to`: how many, 0 at the end of the data, -1 when reading failed.
  virtual int Take(std::uint8_t *to, int count) = 0;
  // The last `count` bytes taken (at most 8 KiB) come again: the reader read them past the
  // trailer of a stream, and they start the next one.
  virtual void GiveBack(std::size_t count) = 0;
  // Whether no byte is left (-1 when reading failed).
  virtual int AtEnd() = 0;

  // Whether the reader asked for bytes after the data ended: a stream that then fails was cut short.
  bool asked_past_end() const { return asked_past_end_; }
  // Why reading failed: an errno, or the Python exception of a file object's read.
  int error() const { return error_; }
  const std::exception_ptr &python_error() const { return python_error_; }

 protected:
  bool asked_past_end_ = false;
  int error_ = 0;
  std::exception_ptr python_error_;
};

// Bytes the caller holds (and keeps alive and unchanged while the source is used).
std::unique_ptr<Source> MemorySource(const std::uint8_t *data, std::size_t size);
// A descriptor read from where it stands to its end (the caller's; not closed here).
std::unique_ptr<Source> DescriptorSource(int fd);
// `length` bytes of a descriptor from `offset`, read by position. The source owns the
// descriptor (a duplicate, say, so that it outlives the archive it came from) and closes it.
std::unique_ptr<Source> RangeSource(int fd, std::uint64_t offset, std::uint64_t length);
// A Python object with readinto() or read().
std::unique_ptr<Source> PyFileSource(py::object file);

// Decompresses a source: one stream, or (`every_stream`) every stream that follows another
// until the data ends.
class GzReader {
 public:
  // `view`, when given, holds the bytes a memory source reads.
  GzReader(std::unique_ptr<Source> source, bool every_stream, int level, std::unique_ptr<ByteView> view = nullptr);
  ~GzReader();
  GzReader(const GzReader &) = delete;
  GzReader &operator=(const GzReader &) = delete;

  // Python methods (the GIL held on entry; released while decoding).
  std::size_t ReadInto(const py::object &buffer);
  py::bytes Read(long long size);
  void Close();
  bool eof() const { return finished_ && failure_ == Failure::kNone; }
  std::uint64_t streams() const { return streams_; }
  std::uint64_t delivered() const { return delivered_; }
  // Whether a failure is kept, to be raised (after the bytes before it, from Fill).
  bool failed() const { return failure_pending_; }

  // Marks the reader as done before it starts (an archive's empty member).
  void SetEmpty() { finished_ = true; }

  // Without the GIL: decodes up to `count` bytes into `to`. Returns how many (fewer only at
  // the end), or -1 when it failed with nothing delivered; a failure after some bytes is
  // kept for the next call. Throws std::bad_alloc.
  long long Fill(std::uint8_t *to, std::size_t count);
  // Without the GIL: everything left, into `out`; false when it failed.
  bool ReadAll(std::string *out, std::size_t size_hint);
  // With the GIL: raises the kept failure.
  [[noreturn]] void RaiseFailure();

 private:
  enum class Failure { kNone, kNoMemory, kRead, kCorrupt, kTruncated, kTrailer };
  static int Pull(YDRGZ, void *user, void *buffer, int count);

  std::unique_ptr<Source> source_;
  std::unique_ptr<ByteView> view_;  // the bytes a memory source reads
  const bool every_stream_;
  const int level_;
  YDRGZ stream_ = nullptr;
  bool finished_ = false;
  bool closed_ = false;
  Failure failure_ = Failure::kNone;
  bool failure_pending_ = false;  // kept until the bytes before it are taken
  std::uint64_t streams_ = 0;
  std::uint64_t delivered_ = 0;
  std::mutex mutex_;  // one call at a time decodes (threads sharing a reader take turns)
};

// Compresses what it is given; the stream's bytes gather until taken.
class GzWriter {
 public:
  explicit GzWriter(int level);
  ~GzWriter();
  GzWriter(const GzWriter &) = delete;
  GzWriter &operator=(const GzWriter &) = delete;

  // Without the GIL: compresses `size` bytes; false when memory ran out.
  bool Compress(const std::uint8_t *data, std::size_t size);
  // Without the GIL: a write of no bytes, as the archive writer makes at the end of each
  // file (before any byte it ends an empty stream at once).
  bool EndWithEmptyWrite();
  // Without the GIL: ends the stream (the trailer is written); false when memory ran out.
  bool Finish();
  std::string &output() { return output_; }
  std::uint64_t taken_in() const { return taken_in_; }

  // Python methods.
  void Write(const py::object &data);
  py::bytes Take();
  py::bytes Close();

 private:
  static int Append(YDRGZ, void *user, const void *buffer, int count);

  YDRGZ stream_ = nullptr;
  std::string output_;
  bool failed_ = false;
  bool finished_ = false;
  std::uint64_t taken_in_ = 0;
  std::mutex mutex_;  // one call at a time compresses
};

// Memory levels are 0, 1 and 2; anything else is a ValueError.
int CheckedLevel(int level);

}  // namespace ydr::python
