// Files for the command's input and output.
//
// Output never leaves a half-written file under a real name and never replaces what the
// user did not mean to replace: a new name or an existing regular file is written as a
// temporary file beside it and renamed into place only when everything was written (an
// existing file keeps its mode); a symbolic link is followed to where it points, and the
// same done there, so the link stays; a pipe, device or anything else is written straight
// into, as the user asked. Every write, flush and close is checked.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/interrupt_cleanup.h"

namespace ydr::tool {

// "'name'" with the system's reason: "cannot open 'x': No such file or directory".
std::string Quoted(const std::string &name);

class Input {
 public:
  Input() = default;
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;
  ~Input();
  bool Open(const std::string &path);         // "-": standard input
  long Read(void *buffer, std::size_t size);  // bytes read; 0 at the end; -1 on error
  void Close();                               // before the file is removed: Windows removes no open file
  // Whether `path` names the file being read (the same device and inode, whatever the
  // spelling or link): writing there would destroy the input. False for "-" (standard output).
  bool IsSameFileAs(const std::string &path) const;
  bool failed() const { return failed_; }
  bool is_standard_input() const { return file_ == stdin; }
  const std::string &name() const { return name_; }
  const std::string &error() const { return error_; }

 private:
  std::FILE *file_ = nullptr;
  bool owned_ = false;
  bool failed_ = false;
  std::string name_;
  std::string error_;
};

// Reads what is left of `in`; false with in.error() set when reading fails.
bool ReadAll(Input &in, std::vector<unsigned char> *data);
// The same for inputs of a known use (a key, one block): reads no more than `limit` bytes
// and one over, so a huge or endless input costs nothing; *too_long says it had more.
bool ReadUpTo(Input &in, std::size_t limit, std::vector<unsigned char> *data, bool *too_long);

class Output {
 public:
  Output() = default;
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;
  ~Output();  // removes an unfinished temporary file
  // "-": standard output. A file made new gets `new_file_mode` (less the umask), or that
  // mode exactly when `exact_mode` (a private key's 0600, whatever the umask).
  bool Open(const std::string &path, unsigned new_file_mode = 0666, bool exact_mode = false);
  // Like Open, for a path where nothing is: fails with EEXIST when something is there, and
  // Finish then puts the file in place only if nothing came there meanwhile (EEXIST).
  bool OpenNew(const std::string &path);
  bool Write(const void *data, std::size_t size);
  // The finished file takes the permissions and modification time of the file at `path`
  // (gz keeps them from the input, as gzip does) instead of the usual mode; nothing changes
  // for standard output or a file written straight into.
  void KeepAttributesOf(const std::string &path) { attributes_from_ = path; }
  bool Finish();  // flushes, closes and moves the file into place
  const std::string &name() const { return name_; }
  const std::string &error() const { return error_; }
  std::FILE *file() const { return file_; }
  // True when the output is a temporary regular file (so it can be sought in).
  bool replaces() const { return !temporary_.empty(); }
  const std::string &temporary() const { return temporary_; }

 private:
  bool Fail();  // records errno's reason; false
  // The system's part: opening a file (not standard output), the file's data on disk, and
  // the temporary file moved over the target in one step (errno set on failure).
  bool OpenFile(const std::string &path, unsigned new_file_mode, bool exact_mode);
  static bool CommitToDisk(std::FILE *file);
  bool ApplyAttributes(std::FILE *file) const;  // those of attributes_from_, to the temporary file
  bool MoveIntoPlace() const;
  std::FILE *file_ = nullptr;
  bool to_stdout_ = false;
  std::string name_;       // as the user gave it
  std::string target_;     // where the temporary file is renamed to
  std::string temporary_;  // empty when written straight into
  bool finished_ = false;  // Finish has put the file in place or removed it
  std::string attributes_from_;
  std::string error_;
  // OpenNew: the move never replaces anything.
  bool keep_existing_ = false;
  std::optional<InterruptCleanup> cleanup_;  // removes the temporary file if the run is interrupted
};

// Whether binary output bound for `out_path` ("-": standard output) would land on a
// terminal, which the ciphers refuse unless forced (as gz refuses compressed data).
bool BinaryToTerminal(const std::string &out_path);

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
