// Members compressed ahead of the archive writer on worker threads, handed to it strictly
// in member order, so that the archive is the same byte for byte whatever the number of
// threads. A member's stream is independent of where it lands in the archive, so only the
// writing has to wait its turn.
//
// Memory stays bounded: a worker takes a member only while fewer than a few members per
// thread, and less than a fixed number of source bytes, are waiting to be written. Files
// larger than that bound are not taken by the workers at all: the writer packs them itself
// when their turn comes, straight into the archive.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zip/member_stream.h"

namespace ydr::tool {

struct PackJob {
  std::string source;      // the file to compress
  std::uint64_t size = 0;  // its size when planned
};

struct CompressedMember {
  bool write_here = false;  // too large for the queue: the writer packs it itself
  bool opened = false;      // false: `why` says why the source could not be opened
  std::string why;
  zip::PackStatus status = zip::PackStatus::kOk;  // kOk, kReadFailed or kNoCompressor
  int error = 0;                                  // errno of a failed read
  std::uint64_t source_bytes = 0;
  std::string stream;
};

class PackQueue {
 public:
  // Opens a source for reading (refusing what must not be packed), or null with a reason.
  using Opener = std::function<std::FILE *(const std::string &path, std::string *why)>;

  // Starts `threads` workers (none for 1: then every member is the writer's). `progress`
  // gets source bytes as the workers read them, from their threads.
  PackQueue(std::vector<PackJob> jobs, int threads, Opener open, std::function<void(std::size_t)> progress);
  ~PackQueue();
  PackQueue(const PackQueue &) = delete;
  PackQueue &operator=(const PackQueue &) = delete;

  // The next member's result, in order, waiting for it if need be.
  CompressedMember Take();

  // Members of more source bytes than this are written by the writer itself.
  static constexpr std::uint64_t kQueuedBytesLimit = std::uint64_t{64} << 20;
  // A worker takes consecutive small members together, up to this many or this many bytes.
  static constexpr std::size_t kRunMembers = 16;
  static constexpr std::uint64_t kRunBytes = 256 << 10;

 private:
  void Work();
  CompressedMember Compress(const PackJob &job) const;
  bool MayStartLocked() const;

  const std::vector<PackJob> jobs_;
  const Opener open_;
  const std::function<void(std::size_t)> progress_;
  const std::size_t max_ahead_;

  std::mutex mutex_;
  std::condition_variable may_start_;         // workers wait here for a member to take
  std::condition_variable ready_for_writer_;  // the writer waits here for the next member
  std::size_t next_start_ = 0;                // the next job a worker may take
  std::size_t next_take_ = 0;                 // the next job the writer takes
  std::uint64_t bytes_ahead_ = 0;             // planned source bytes of jobs taken but not yet handed over
  std::vector<CompressedMember> done_;
  std::vector<bool> ready_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The number of processors online, at least 1.
int ProcessorCount();

}  // namespace ydr::tool
