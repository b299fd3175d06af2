// A line of progress on standard error, redrawn every half second on a thread of its own
// while the ticker lives, when standard error is a terminal; the line is ended when it goes.
#pragma once

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ydr::tool {

class TerminalTicker {
 public:
  // `line` gives the text to show (without "\r"); it runs on the ticker's thread, so what it
  // reads must be safe to read from there (atomics).
  explicit TerminalTicker(std::function<std::string()> line) : line_(std::move(line)) {
    if (isatty(STDERR_FILENO) == 0) return;
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return done_; })) {
        const std::string text = line_();
        // Progress is a courtesy: a line that cannot be drawn is simply not drawn.
        static_cast<void>(std::fprintf(stderr, "\r\x1b[K%s", text.c_str()));
        static_cast<void>(std::fflush(stderr));
        shown_ = true;
      }
    });
  }
  TerminalTicker(const TerminalTicker &) = delete;
  TerminalTicker &operator=(const TerminalTicker &) = delete;
  ~TerminalTicker() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (shown_) static_cast<void>(std::fprintf(stderr, "\r\x1b[K"));
  }

 private:
  std::function<std::string()> line_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
};

}  // namespace ydr::tool
