#include "tools/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ydr::tool {

Input::~Input() {
  if (owned_ && file_ != nullptr) std::fclose(file_);
}

bool Input::Open(const std::string &path) {
  if (path == "-") {
    file_ = stdin;
    name_ = "standard input";
    return true;
  }
  name_ = path;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    error_ = std::strerror(errno);
    return false;
  }
  owned_ = true;
  return true;
}

long Input::Read(void *buffer, std::size_t size) {
  const std::size_t got = std::fread(buffer, 1, size, file_);
  if (got == 0 && std::ferror(file_)) {
    error_ = std::strerror(errno);
    failed_ = true;
    return -1;
  }
  return static_cast<long>(got);
}

Output::~Output() {
  if (file_ != nullptr && !to_stdout_) {
    std::fclose(file_);
    std::remove(temporary_.c_str());
  }
}

bool Output::Open(const std::string &path) {
  if (path == "-") {
    file_ = stdout;
    to_stdout_ = true;
    name_ = "standard output";
    return true;
  }
  name_ = path;
  temporary_ = path + ".ydr-XXXXXX";
  const int fd = mkstemp(temporary_.data());
  if (fd < 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
    error_ = std::strerror(errno);
    if (fd >= 0) {
      close(fd);
      std::remove(temporary_.c_str());
    }
    return false;
  }
  fchmod(fd, 0666 & ~[] {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
  }());
  return true;
}

bool Output::Write(const void *data, std::size_t size) {
  if (std::fwrite(data, 1, size, file_) == size) return true;
  error_ = std::strerror(errno);
  return false;
}

bool Output::Finish() {
  if (to_stdout_) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    error_ = std::strerror(errno);
    return false;
  }
  std::FILE *file = file_;
  file_ = nullptr;
  if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) {
    error_ = std::strerror(errno);
    std::fclose(file);
    std::remove(temporary_.c_str());
    return false;
  }
  if (std::fclose(file) != 0 || std::rename(temporary_.c_str(), name_.c_str()) != 0) {
    error_ = std::strerror(errno);
    std::remove(temporary_.c_str());
    return false;
  }
  return true;
}

Progress::Progress(std::string name)
    : name_(std::move(name)), enabled_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() {
  if (shown_) std::fprintf(stderr, "\n");
}

void Progress::Add(std::size_t bytes) {
  total_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(500) || now - start_ < std::chrono::seconds(1)) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\rydr: %s: %.1f MB", name_.c_str(), static_cast<double>(total_) / 1e6);
  std::fflush(stderr);
}

}  // namespace ydr::tool
