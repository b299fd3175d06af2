// What an interrupted run tidies up before it ends.
//
// Ctrl-C, `kill` and a closed terminal (SIGINT, SIGTERM, SIGHUP; on Windows the console's
// control events) end the command wherever it is. Whatever it was writing then sits under a
// temporary name beside its target, and a password prompt may have turned the terminal's
// echo off. The handler removes every temporary file still recorded here and puts the
// terminal back, then lets the signal end the process the usual way, so the parent sees
// "killed by SIGINT". Outputs are only ever renamed into place when complete, so the previous
// output survives untouched.
//
// The records live in a fixed table that the handler reads without locks or allocation (only
// unlink/unlinkat, tcsetattr and write happen there). A file is recorded right after it is
// made; between the two a signal is held off (acted on as soon as the record is written), so
// no temporary file escapes.
#pragma once

#include <cstddef>
#include <string>

namespace ydr::tool {

// Sets the handlers up; once, before any work. A signal ignored when the command started
// (nohup, a background job) stays ignored.
void CleanUpOnInterrupt();

// One temporary file for the handler to remove. Make the object before creating the file: a
// signal arriving between then and Record waits until the file is recorded. The file is
// forgotten (not removed: that stays the owner's job) when the object goes or on Forget.
class InterruptCleanup {
 public:
  InterruptCleanup();
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup &) = delete;
  InterruptCleanup &operator=(const InterruptCleanup &) = delete;

  // The file at `path` (made absolute here, in case the working folder changes).
  void Record(const std::string &path);
  // The file `name` in a destination folder opened as `folder` (platform::DestinationFolder).
  void Record(int folder, const std::string &name);
  // Nothing to remove any more: the file was renamed into place or removed. Ends the hold
  // too, when the file was never made.
  void Forget();

 private:
  void EndHold();
  int slot_ = -1;
  bool holding_ = false;
};

// The terminal a prompt changed, and how it was before: put back if the run is interrupted
// while the prompt waits. `settings` is the system's record (a termios on POSIX, the console
// mode as a DWORD on Windows); null forgets it.
void RememberTerminal(long long terminal, const void *settings, std::size_t size);

}  // namespace ydr::tool
