#include "python/src/gz_streams.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace ydr::python {
namespace {

// The library's reader asks for 4096 bytes at a time and reads no further ahead than one
// such piece, so 8 KiB of history always covers what it gives back after a trailer.
constexpr std::size_t kHistory = 8192;
constexpr std::size_t kPiece = 1 << 16;
// The most handed to one library call (its counts are ints).
constexpr std::size_t kMostPerCall = std::size_t{1} << 30;

class Memory final : public Source {
 public:
  Memory(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  int Take(std::uint8_t *to, int count) override {
    const std::size_t n = std::min(static_cast<std::size_t>(count), size_ - position_);
    if (n == 0) {
      asked_past_end_ = true;
      return 0;
    }
    std::memcpy(to, data_ + position_, n);
    position_ += n;
    return static_cast<int>(n);
  }
  void GiveBack(std::size_t count) override { position_ -= std::min(count, position_); }
  int AtEnd() override { return position_ == size_ ? 1 : 0; }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// A source read in pieces into a buffer that keeps the last kHistory bytes taken, so that
// they can be given back.
class Buffered : public Source {
 public:
  Buffered() : buffer_(kHistory + kPiece) {}
  int Take(std::uint8_t *to, int count) override {
    if (start_ == end_) {
      const int filled = Refill();
      if (filled < 0) return -1;
      if (filled == 0) {
        asked_past_end_ = true;
        return 0;
      }
    }
    const std::size_t n = std::min(static_cast<std::size_t>(count), end_ - start_);
    std::memcpy(to, buffer_.data() + start_, n);
    start_ += n;
    return static_cast<int>(n);
  }
  void GiveBack(std::size_t count) override { start_ -= std::min(count, start_); }
  int AtEnd() override {
    if (start_ < end_) return 0;
    const int filled = Refill();
    return filled < 0 ? -1 : filled == 0 ? 1 : 0;
  }

 protected:
  // Reads up to `size` bytes of the underlying data: how many, 0 at its end, -1 on failure
  // (error_ or python_error_ set).
  virtual long long Read(std::uint8_t *to, std::size_t size) = 0;

 private:
  // Keeps the history, then reads the next piece after it: bytes read, 0 at the end, -1.
  int Refill() {
    const std::size_t keep = std::min(kHistory, end_);
    std::memmove(buffer_.data(), buffer_.data() + end_ - keep, keep);
    start_ = end_ = keep;
    const long long got = Read(buffer_.data() + keep, kPiece);
    if (got <= 0) return got < 0 ? -1 : 0;
    end_ += static_cast<std::size_t>(got);
    return static_cast<int>(got);
  }

  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0, end_ = 0;
};

class Descriptor final : public Buffered {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}

 protected:
  long long Read(std::uint8_t *to, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, to, size);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      error_ = errno;
      return -1;
    }
  }

 private:
  int fd_;
};

class Range final : public Buffered {
 public:
  Range(int fd, std::uint64_t offset, std::uint64_t length) : fd_(fd), offset_(offset), left_(length) {}
  ~Range() override { static_cast<void>(close(fd_)); }  // read only
  Range(const Range &) = delete;
  Range &operator=(const Range &) = delete;

 protected:
  long long Read(std::uint8_t *to, std::size_t size) override {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
    if (wanted == 0) return 0;
    for (;;) {
      const ssize_t n = ::pread(fd_, to, wanted, static_cast<off_t>(offset_));
      if (n >= 0) {
        offset_ += static_cast<std::uint64_t>(n);
        left_ -= static_cast<std::uint64_t>(n);
        return n;
      }
      if (errno == EINTR) continue;
      error_ = errno;
      return -1;
    }
  }

 private:
  int fd_;
  std::uint64_t offset_;
  std::uint64_t left_;
};

class PyFile final : public Buffered {
 public:
  explicit PyFile(py::object file) : file_(std::move(file)) { readinto_ = py::hasattr(file_, "readinto"); }
  ~PyFile() override {
    // The file's reference is dropped under the GIL, whichever thread ends the reader.
    try {
      py::gil_scoped_acquire gil;
      file_ = py::object();
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing can be done about it in a destructor
    }
  }

 protected:
  long long Read(std::uint8_t *to, std::size_t size) override {
    py::gil_scoped_acquire gil;
    try {
      if (readinto_) {
        const py::object got =
            file_.attr("readinto")(py::memoryview::from_memory(to, static_cast<py::ssize_t>(size), false));
        if (got.is_none()) return 0;  // a non-blocking file with nothing yet: taken as its end
        const auto n = got.cast<long long>();
        if (n < 0 || static_cast<std::size_t>(n) > size) throw py::value_error("readinto() returned a bad count");
        return n;
      }
      const py::object got = file_.attr("read")(size);
      const ByteView view(got);
      if (view.size() > size) throw py::value_error("read() returned more than was asked for");
      std::memcpy(to, view.data(), view.size());
      return static_cast<long long>(view.size());
    } catch (...) {
      python_error_ = std::current_exception();
      return -1;
    }
  }

 private:
  py::object file_;
  bool readinto_ = true;
};

}  // namespace

std::unique_ptr<Source> MemorySource(const std::uint8_t *data, std::size_t size) {
  return std::make_unique<Memory>(data, size);
}
std::unique_ptr<Source> DescriptorSource(int fd) { return std::make_unique<Descriptor>(fd); }
std::unique_ptr<Source> RangeSource(int fd, std::uint64_t offset, std::uint64_t length) {
  return std::make_unique<Range>(fd, offset, length);
}
std::unique_ptr<Source> PyFileSource(py::object file) { return std::make_unique<PyFile>(std::move(file)); }

int CheckedLevel(int level) {
  if (level < YDR_GZ_MEM_SMALL || level > YDR_GZ_MEM_LARGE) {
    throw py::value_error("the memory level is 0, 1 or 2");
  }
  return level;
}

// ---- Reading ----

GzReader::GzReader(std::unique_ptr<Source> source, bool every_stream, int level, std::unique_ptr<ByteView> view)
    : source_(std::move(source)), view_(std::move(view)), every_stream_(every_stream), level_(level) {}

GzReader::~GzReader() {
  if (stream_ != nullptr) static_cast<void>(YdrGZCloseRead(stream_));
}

int GzReader::Pull(YDRGZ, void *user, void *buffer, int count) {
  return static_cast<GzReader *>(user)->source_->Take(static_cast<std::uint8_t *>(buffer), count);
}

long long GzReader::Fill(std::uint8_t *to, std::size_t count) {
  if (failure_pending_) return -1;
  std::size_t done = 0;
  while (done < count && !finished_) {
    if (stream_ == nullptr) {
      if (streams_ > 0) {
        const int at_end = every_stream_ ? source_->AtEnd() : 1;
        if (at_end < 0) {
          failure_ = Failure::kRead;
          break;
        }
        if (at_end > 0) {
          finished_ = true;
          break;
        }
      }
      stream_ = YdrGZOpenReadOfCustomMem(Pull, this, level_);
      if (stream_ == nullptr) {
        failure_ = Failure::kNoMemory;
        break;
      }
    }
    const int want = static_cast<int>(std::min(count - done, kMostPerCall));
    const int got = YdrGZRead(stream_, to + done, want);
    if (source_->error() != 0 || source_->python_error()) {
      failure_ = Failure::kRead;
      break;
    }
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      delivered_ += static_cast<std::uint64_t>(got);
      continue;
    }
    const int closed = YdrGZCloseRead(stream_);  // frees the handle whatever it says
    stream_ = nullptr;
    if (got < 0) {
      failure_ = source_->asked_past_end() ? Failure::kTruncated : Failure::kCorrupt;
      break;
    }
    if (closed < 0) {
      failure_ = Failure::kTrailer;
      break;
    }
    ++streams_;
    if (!every_stream_) {
      finished_ = true;
      break;
    }
    source_->GiveBack(static_cast<std::size_t>(closed));
  }
  if (failure_ != Failure::kNone) {
    finished_ = true;
    failure_pending_ = true;
    if (done == 0) return -1;
  }
  return static_cast<long long>(done);
}

bool GzReader::ReadAll(std::string *out, std::size_t size_hint) {
  std::size_t have = out->size();
  std::size_t capacity = std::max<std::size_t>(have + size_hint, have + (1 << 16));
  for (;;) {
    out->resize(capacity);
    const long long got = Fill(reinterpret_cast<std::uint8_t *>(out->data()) + have, capacity - have);
    if (got < 0) {
      out->resize(have);
      return false;
    }
    have += static_cast<std::size_t>(got);
    if (have < capacity) break;  // the end came first, or a failure after some bytes
    capacity = capacity < (std::size_t{1} << 30) ? capacity * 2 : capacity + (std::size_t{1} << 30);
  }
  out->resize(have);
  return !failure_pending_;
}

void GzReader::RaiseFailure() {
  const Failure failure = failure_;
  if (failure == Failure::kRead && source_->python_error()) std::rethrow_exception(source_->python_error());
  switch (failure) {
    case Failure::kNoMemory: throw std::bad_alloc();
    case Failure::kRead:
      errno = source_->error();
      PyErr_SetFromErrno(PyExc_OSError);
      throw py::error_already_set();
    case Failure::kTruncated:
      Raise(ErrorKind::kTruncated,
            "the compressed data ends before the stream does (cut short, or damaged near its end)");
    case Failure::kTrailer:
      Raise(ErrorKind::kDataError, "the CRC-32 or length in the stream's trailer does not match the data");
    case Failure::kCorrupt:
    case Failure::kNone: break;
  }
  Raise(ErrorKind::kDataError, "the compressed data is damaged");
}

std::size_t GzReader::ReadInto(const py::object &buffer) {
  if (closed_) throw py::value_error("I/O operation on a closed stream");
  const ByteView view(buffer, true);
  long long got;
  {
    py::gil_scoped_release nogil;
    const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // taken without the GIL: a source may need it
    got = Fill(view.data(), view.size());
  }
  if (got < 0) RaiseFailure();
  return static_cast<std::size_t>(got);
}

py::bytes GzReader::Read(long long size) {
  if (closed_) throw py::value_error("I/O operation on a closed stream");
  std::string out;
  bool ok;
  {
    py::gil_scoped_release nogil;
    const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // taken without the GIL: a source may need it
    if (size < 0) {
      ok = ReadAll(&out, 0);
    } else {
      out.resize(static_cast<std::size_t>(size));
      const long long got = Fill(reinterpret_cast<std::uint8_t *>(out.data()), out.size());
      ok = got >= 0;
      out.resize(ok ? static_cast<std::size_t>(got) : 0);
    }
  }
  if (!ok) RaiseFailure();
  return py::bytes(out);
}

void GzReader::Close() {
  py::gil_scoped_release nogil;
  const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // taken without the GIL: a source may need it
  if (stream_ != nullptr) static_cast<void>(YdrGZCloseRead(stream_));
  stream_ = nullptr;
  closed_ = true;
  finished_ = true;
}

// ---- Writing ----

GzWriter::GzWriter(int level) {
  stream_ = YdrGZOpenWriteOfCustomMem(Append, this, CheckedLevel(level));
  if (stream_ == nullptr) throw std::bad_alloc();
}

GzWriter::~GzWriter() {
  if (stream_ != nullptr) static_cast<void>(YdrGZCloseWrite(stream_));
}

int GzWriter::Append(YDRGZ, void *user, const void *buffer, int count) {
  auto *writer = static_cast<GzWriter *>(user);
  try {
    writer->output_.append(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
    return count;
  } catch (const std::bad_alloc &) {
    writer->failed_ = true;
    return -1;
  }
}

bool GzWriter::Compress(const std::uint8_t *data, std::size_t size) {
  while (size > 0 && !failed_) {
    const std::size_t n = std::min(size, kMostPerCall);
    static_cast<void>(YdrGZWrite(stream_, data, static_cast<int>(n)));
    data += n;
    size -= n;
    taken_in_ += n;
  }
  return !failed_;
}

bool GzWriter::EndWithEmptyWrite() {
  static const std::uint8_t kNothing = 0;
  static_cast<void>(YdrGZWrite(stream_, &kNothing, 0));
  return !failed_;
}

bool GzWriter::Finish() {
  if (!finished_) {
    static_cast<void>(YdrGZCloseWrite(stream_));
    stream_ = nullptr;
    finished_ = true;
  }
  return !failed_;
}

void GzWriter::Write(const py::object &data) {
  if (finished_) throw py::value_error("write to a closed stream");
  const ByteView view(data);
  bool ok;
  {
    py::gil_scoped_release nogil;
    const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // taken without the GIL: a source may need it
    ok = Compress(view.data(), view.size());
  }
  if (!ok) throw std::bad_alloc();
}

py::bytes GzWriter::Take() {
  const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // Compress never waits for the GIL
  py::bytes out(output_);
  output_.clear();
  return out;
}

py::bytes GzWriter::Close() {
  bool ok;
  {
    py::gil_scoped_release nogil;
    const std::lock_guard<std::mutex> one_at_a_time(mutex_);  // taken without the GIL: a source may need it
    ok = Finish();
  }
  if (!ok) throw std::bad_alloc();
  return Take();
}

}  // namespace ydr::python
