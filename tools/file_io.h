// Files for the command's input and output. Output to a file goes to a temporary file
// beside it, renamed into place only when everything was written; an output that is not
// finished is removed, so a failed run leaves nothing half-written behind.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace ydr::tool {

class Input {
 public:
  Input() = default;
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;
  ~Input();
  bool Open(const std::string &path);  // "-": standard input
  long Read(void *buffer, std::size_t size);  // bytes read; 0 at the end; -1 on error
  bool failed() const { return failed_; }
  const std::string &name() const { return name_; }
  const std::string &error() const { return error_; }

 private:
  std::FILE *file_ = nullptr;
  bool owned_ = false;
  bool failed_ = false;
  std::string name_;
  std::string error_;
};

class Output {
 public:
  Output() = default;
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;
  ~Output();  // removes an unfinished output file
  bool Open(const std::string &path);  // "-": standard output
  bool Write(const void *data, std::size_t size);
  bool Finish();  // flushes, closes and moves the file into place
  const std::string &name() const { return name_; }
  const std::string &error() const { return error_; }

 private:
  std::FILE *file_ = nullptr;
  bool to_stdout_ = false;
  std::string name_;
  std::string temporary_;
  std::string error_;
};

// Progress on standard error, for long runs, when it is a terminal.
class Progress {
 public:
  explicit Progress(std::string name);
  ~Progress();
  void Add(std::size_t bytes);

 private:
  std::string name_;
  bool enabled_;
  bool shown_ = false;
  std::size_t total_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace ydr::tool
