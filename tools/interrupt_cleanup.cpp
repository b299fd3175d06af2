// The common part of the interruption records: claiming, filling and freeing slots, and the
// hold that keeps a signal from ending the process between a file's creation and its record.
#include "tools/interrupt_cleanup.h"

#include <cstring>

#include "tools/interrupt_records.h"

namespace ydr::tool {
namespace interrupt {

Slot slots[kSlots];
std::atomic<int> holds{0};
std::atomic<int> pending{0};

}  // namespace interrupt

namespace {

int Claim() {
  for (int i = 0; i < interrupt::kSlots; ++i) {
    int expected = interrupt::kFree;
    if (interrupt::slots[i].state.compare_exchange_strong(expected, interrupt::kFilling)) return i;
  }
  return -1;  // full: that file is left to its owner alone
}

}  // namespace

InterruptCleanup::InterruptCleanup() : holding_(true) { interrupt::holds.fetch_add(1); }

InterruptCleanup::~InterruptCleanup() { Forget(); }

void InterruptCleanup::EndHold() {
  if (!holding_) return;
  holding_ = false;
  if (interrupt::holds.fetch_sub(1) == 1) {
    const int signal = interrupt::pending.exchange(0);
    if (signal != 0) interrupt::EndBySignal(signal);
  }
}

void InterruptCleanup::Record(int folder, const std::string &name) {
  if (slot_ < 0) {
    int stored_folder = -1;
    std::string stored_path;
    interrupt::Locate(folder, name, &stored_folder, &stored_path);
    if (stored_path.size() < interrupt::kPathBytes && (slot_ = Claim()) >= 0) {
      interrupt::Slot &slot = interrupt::slots[slot_];
      slot.folder = stored_folder;
      std::memcpy(slot.path, stored_path.c_str(), stored_path.size() + 1);
      slot.state.store(interrupt::kRecorded);
    }
  }
  EndHold();
}

void InterruptCleanup::Record(const std::string &path) { Record(-1, interrupt::AbsolutePath(path)); }

void InterruptCleanup::Forget() {
  if (slot_ >= 0) {
    interrupt::slots[slot_].state.store(interrupt::kFree);
    slot_ = -1;
  }
  EndHold();
}

}  // namespace ydr::tool
