#include "tools/pack_queue.h"

#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <thread>

namespace ydr::tool {

namespace {

bool WrittenByTheWriter(const PackJob &job) { return job.size > PackQueue::kQueuedBytesLimit; }

}  // namespace

int ProcessorCount() { return static_cast<int>(platform::UsableProcessors()); }

PackQueue::PackQueue(std::vector<PackJob> jobs, int threads, Opener open, std::function<void(std::size_t)> progress)
    : jobs_(std::move(jobs)),
      open_(std::move(open)),
      progress_(std::move(progress)),
      max_ahead_(static_cast<std::size_t>(threads) * kRunMembers * 4),
      done_(jobs_.size()),
      ready_(jobs_.size(), false) {
  if (threads <= 1) return;
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

PackQueue::~PackQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  may_start_.notify_all();
  for (std::thread &worker : workers_) worker.join();
}

bool PackQueue::MayStartLocked() const {
  if (next_start_ >= jobs_.size()) return false;
  if (next_start_ == next_take_) return true;  // the writer is waiting for this one
  return next_start_ - next_take_ < max_ahead_ && bytes_ahead_ + jobs_[next_start_].size <= kQueuedBytesLimit;
}

void PackQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<CompressedMember> results;
  for (;;) {
    may_start_.wait(lock, [this] { return stopping_ || MayStartLocked(); });
    if (stopping_) return;
    // A run of small members at once, so that the lock is taken once per run, not per file.
    const std::size_t first = next_start_;
    std::uint64_t run_bytes = 0;
    do {
      const PackJob &job = jobs_[next_start_++];
      if (WrittenByTheWriter(job)) break;
      bytes_ahead_ += job.size;
      run_bytes += job.size;
    } while (next_start_ - first < kRunMembers && run_bytes < kRunBytes && MayStartLocked());
    const std::size_t end = next_start_;
    if (MayStartLocked()) may_start_.notify_one();  // room for another worker too
    lock.unlock();
    results.clear();
    for (std::size_t i = first; i < end; ++i) {
      CompressedMember result;
      if (WrittenByTheWriter(jobs_[i])) {
        result.write_here = true;
      } else {
        result = Compress(jobs_[i]);
      }
      results.push_back(std::move(result));
    }
    lock.lock();
    for (std::size_t i = first; i < end; ++i) {
      done_[i] = std::move(results[i - first]);
      ready_[i] = true;
    }
    // Only the member the writer waits for wakes it; the others it finds ready.
    if (next_take_ >= first && next_take_ < end) ready_for_writer_.notify_one();
  }
}

CompressedMember PackQueue::Compress(const PackJob &job) const {
  CompressedMember result;
  std::FILE *source = open_(job.source, &result.why);
  if (source == nullptr) return result;
  result.opened = true;
  result.status = zip::CompressToMemory(source, &result.stream, [&](std::size_t n) {
    result.source_bytes += n;
    if (progress_) progress_(n);
  });
  result.error = errno;
  static_cast<void>(std::fclose(source));  // read only
  return result;
}

CompressedMember PackQueue::Take() {
  const std::size_t index = next_take_;
  if (workers_.empty()) {  // one thread: the writer packs every member itself
    ++next_take_;
    CompressedMember result;
    result.write_here = true;
    return result;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  ready_for_writer_.wait(lock, [&] { return ready_[index]; });
  CompressedMember result = std::move(done_[index]);
  if (!result.write_here) bytes_ahead_ -= jobs_[index].size;
  ++next_take_;
  // Room for one more member ahead (or more, if this one was large).
  const bool room = MayStartLocked();
  lock.unlock();
  if (room) may_start_.notify_one();
  return result;
}

}  // namespace ydr::tool
