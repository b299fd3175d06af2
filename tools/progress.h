// Progress on the terminal for long runs (pack, unpack, test, gz): items and bytes done of
// all, the rate, and the time left, redrawn on standard error twice a second from a thread
// of its own, once the run has lasted a second. Nothing is drawn when standard error is not
// a terminal; the line is cleared when the meter goes, so it never mixes with messages.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace ydr::tool {

class ProgressMeter {
 public:
  // `what`: "packing", ...; `item_word`: "files", "members" (empty: bytes only). Totals of 0
  // are unknown and left out.
  ProgressMeter(std::string what, std::string item_word, std::uint64_t total_items, std::uint64_t total_bytes);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter &) = delete;
  ProgressMeter &operator=(const ProgressMeter &) = delete;

  void AddBytes(std::uint64_t bytes) { bytes_.fetch_add(bytes, std::memory_order_relaxed); }
  void ItemDone() { items_.fetch_add(1, std::memory_order_relaxed); }
  // Pauses drawing and clears the line, so that a message can be written; resumes after.
  void Clear();

  // The line as it would be drawn now (for tests).
  std::string Line() const;

 private:
  void Draw();

  const std::string what_, item_word_;
  const std::uint64_t total_items_, total_bytes_;
  const std::chrono::steady_clock::time_point start_;
  std::atomic<std::uint64_t> items_{0}, bytes_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
  std::thread thread_;
};

// "12.3 MB" and the like (powers of 1000).
std::string HumanBytes(std::uint64_t bytes);

}  // namespace ydr::tool
