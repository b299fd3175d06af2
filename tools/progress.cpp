#include "tools/progress.h"

#include <cmath>
#include <cstdio>

#include "platform/files.h"

namespace ydr::tool {

std::string HumanBytes(std::uint64_t bytes) {
  static const char *const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1000 && unit < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]));
  return text;
}

ProgressMeter::ProgressMeter(std::string what, std::string item_word, std::uint64_t total_items,
                             std::uint64_t total_bytes)
    : what_(std::move(what)),
      item_word_(std::move(item_word)),
      total_items_(total_items),
      total_bytes_(total_bytes),
      start_(std::chrono::steady_clock::now()) {
  if (!platform::IsTerminal(stderr)) return;
  thread_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    // The first line after a second: short runs draw nothing.
    if (wake_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) return;
    do {
      Draw();
    } while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return done_; }));
  });
}

ProgressMeter::~ProgressMeter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
  Clear();
}

void ProgressMeter::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!shown_) return;
  // Progress is a courtesy: a line that cannot be cleared is simply left.
  static_cast<void>(std::fputs("\r\x1b[K", stderr));
  static_cast<void>(std::fflush(stderr));
  shown_ = false;
}

std::string ProgressMeter::Line() const {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::uint64_t bytes = bytes_.load(std::memory_order_relaxed);
  std::string line = "ydr: " + what_ + ":";
  if (!item_word_.empty()) {
    line += " " + std::to_string(items_.load(std::memory_order_relaxed));
    if (total_items_ != 0) line += " of " + std::to_string(total_items_);
    line += " " + item_word_ + ",";
  }
  line += " " + HumanBytes(bytes);
  if (total_bytes_ != 0) line += " of " + HumanBytes(total_bytes_);
  if (seconds > 0) {
    const double rate = static_cast<double>(bytes) / seconds;
    line += ", " + HumanBytes(static_cast<std::uint64_t>(rate)) + "/s";
    if (rate > 0 && total_bytes_ > bytes) {
      line += ", " + std::to_string(std::llround(static_cast<double>(total_bytes_ - bytes) / rate)) + " s left";
    }
  }
  return line;
}

void ProgressMeter::Draw() {
  const std::string line = Line();
  static_cast<void>(std::fprintf(stderr, "\r\x1b[K%s", line.c_str()));
  static_cast<void>(std::fflush(stderr));
  shown_ = true;
}

}  // namespace ydr::tool
