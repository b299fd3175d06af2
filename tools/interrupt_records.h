// The table behind tools/interrupt_cleanup.h, shared by its common part and each system's
// handler. Everything here is read by a signal handler: lock-free atomics and fixed arrays.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace ydr::tool::interrupt {

inline constexpr int kSlots = 32;  // temporaries alive at once: one output, or one member
inline constexpr std::size_t kPathBytes = 4096;

enum SlotState : int {
  kFree = 0,
  kFilling = 1,   // claimed; the path is being written
  kRecorded = 2,  // the handler removes it
};

struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;  // a folder descriptor the path is relative to, or -1
  char path[kPathBytes] = {};
};

extern Slot slots[kSlots];
// Records being made right now: a signal then only notes itself in `pending`, and the last
// hold to end acts on it.
extern std::atomic<int> holds;
extern std::atomic<int> pending;

// The system's part.
// What to store for a file: a folder descriptor and a name in it, or (folder -1) a path.
void Locate(int folder, const std::string &name, int *stored_folder, std::string *stored_path);
std::string AbsolutePath(const std::string &path);
// Removes every recorded file, puts the terminal back and ends the process by `signal`.
[[noreturn]] void EndBySignal(int signal);

}  // namespace ydr::tool::interrupt
