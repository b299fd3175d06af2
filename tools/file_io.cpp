// Input, and what output does the same everywhere; opening an output, committing it to disk
// and moving it into place are the system's (tools/<system>/output_file.cpp).
#include "tools/file_io.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "tools/command.h"

namespace ydr::tool {

std::string Quoted(const std::string &name) { return "'" + name + "'"; }

Input::~Input() { Close(); }

void Input::Close() {
  if (owned_ && file_ != nullptr) static_cast<void>(std::fclose(file_));  // read only
  file_ = nullptr;
  owned_ = false;
}

bool Input::Open(const std::string &path) {
  if (path == "-") {
    file_ = stdin;
    name_ = "standard input";
    return true;
  }
  name_ = path;
  file_ = platform::OpenStream(path, "rb");
  if (file_ == nullptr) {
    error_ = std::strerror(errno);
    return false;
  }
  owned_ = true;
  return true;
}

bool Input::IsSameFileAs(const std::string &path) const {
  if (file_ == nullptr || path == "-") return false;
  const auto mine = platform::IdentityOfStream(file_);
  return mine && mine == platform::IdentityOfPath(path);
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

bool Output::Open(const std::string &path, unsigned new_file_mode, bool exact_mode) {
  if (path == "-") {
    file_ = stdout;
    to_stdout_ = true;
    name_ = "standard output";
    return true;
  }
  name_ = path;
  return OpenFile(path, new_file_mode, exact_mode);
}

bool Output::OpenNew(const std::string &path) {
  name_ = path;
  if (platform::AnythingAt(path)) {
    errno = EEXIST;
    return Fail();
  }
  keep_existing_ = true;
  return OpenFile(path, 0666, false);
}

Output::~Output() {
  if (to_stdout_ || finished_) return;
  // An output given up (a failure, or an exception such as memory running out, even one
  // thrown while it was being opened): its temporary file goes, whatever closing it says.
  if (file_ != nullptr) static_cast<void>(std::fclose(file_));
  if (!temporary_.empty()) platform::RemoveFile(temporary_);
}

bool Output::Finish() {
  if (to_stdout_) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    return Fail();
  }
  std::FILE *file = file_;
  file_ = nullptr;
  finished_ = true;  // from here on, Finish itself removes the temporary file on failure
  // The attributes after the last byte (a write would change the time), before the sync.
  bool ok = std::fflush(file) == 0 && !std::ferror(file) &&
            (temporary_.empty() || ((attributes_from_.empty() || ApplyAttributes(file)) && CommitToDisk(file)));
  if (!ok) Fail();
  if (std::fclose(file) != 0 && ok) ok = Fail();
  if (!temporary_.empty()) {
    if (ok && !MoveIntoPlace()) ok = Fail();
    if (!ok) platform::RemoveFile(temporary_);
  }
  cleanup_.reset();
  return ok;
}

bool Output::Fail() {
  error_ = std::strerror(errno);
  return false;
}

bool ReadAll(Input &in, std::vector<unsigned char> *data) {
  unsigned char chunk[1 << 16];
  long got;
  while ((got = in.Read(chunk, sizeof chunk)) > 0) data->insert(data->end(), chunk, chunk + got);
  return got == 0;
}

bool ReadUpTo(Input &in, std::size_t limit, std::vector<unsigned char> *data, bool *too_long) {
  data->clear();
  data->resize(limit + 1);
  std::size_t held = 0;
  long got = 0;
  while (held < data->size() && (got = in.Read(data->data() + held, data->size() - held)) > 0) {
    held += static_cast<std::size_t>(got);
  }
  *too_long = held > limit;
  data->resize(held < limit ? held : limit);
  return got >= 0;
}

bool BinaryToTerminal(const std::string &out_path) { return out_path == "-" && platform::IsTerminal(stdout); }

bool Output::Write(const void *data, std::size_t size) {
  if (size == 0 || std::fwrite(data, 1, size, file_) == size) return true;
  return Fail();
}

Progress::Progress(std::string name)
    : name_(std::move(name)),
      enabled_(platform::IsTerminal(stderr)),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

Progress::~Progress() {
  if (shown_) Note("\n");
}

void Progress::Add(std::size_t bytes) {
  total_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(500) || now - start_ < std::chrono::seconds(1)) return;
  last_ = now;
  shown_ = true;
  Note("\rydr: %s: %.1f MB", name_.c_str(), static_cast<double>(total_) / 1e6);
}

}  // namespace ydr::tool
