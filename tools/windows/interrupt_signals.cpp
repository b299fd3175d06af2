// Interruptions on Windows: Ctrl-C, Ctrl-Break and the console's closing run this handler on
// a thread of their own while the command goes on. It waits for a file being recorded to be
// recorded, deletes every recorded temporary file (they are opened shared for deletion, so a
// file still open goes when the process ends), puts back the console mode a prompt changed,
// and ends the process as Ctrl-C would.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/destination_folder.h"
#include "platform/windows/win32_text.h"
#include "tools/interrupt_cleanup.h"
#include "tools/interrupt_records.h"

namespace ydr::tool {
namespace {

constexpr UINT kInterruptedExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT, as the default handler ends with

std::atomic<long long> console_input{0};  // 0 for none
DWORD console_mode = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  for (int waited = 0; interrupt::holds.load() > 0 && waited < 2000; ++waited) Sleep(1);
  interrupt::EndBySignal(static_cast<int>(event));
}

}  // namespace

namespace interrupt {

void Locate(int folder, const std::string &name, int *stored_folder, std::string *stored_path) {
  *stored_folder = -1;
  *stored_path =
      folder < 0 ? name : platform::Utf8FromSystemWide(platform::DestinationFolder::PathIn(folder, name).c_str());
}

std::string AbsolutePath(const std::string &path) {
  wchar_t full[kPathBytes];
  const DWORD length = GetFullPathNameW(platform::SystemWide(path).c_str(), kPathBytes, full, nullptr);
  if (length == 0 || length >= kPathBytes) return path;
  return platform::Utf8FromSystemWide(full);
}

void EndBySignal(int /*signal*/) {
  for (Slot &slot : slots) {
    if (slot.state.load() == kRecorded) DeleteFileW(platform::SystemWide(slot.path).c_str());
  }
  const long long input = console_input.exchange(0);
  if (input != 0) SetConsoleMode(reinterpret_cast<HANDLE>(input), console_mode);
  ExitProcess(kInterruptedExit);
}

}  // namespace interrupt

void CleanUpOnInterrupt() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void RememberTerminal(long long terminal, const void *settings, std::size_t size) {
  console_input.store(0);
  if (settings == nullptr || size != sizeof(DWORD)) return;
  std::memcpy(&console_mode, settings, sizeof(DWORD));
  console_input.store(terminal);
}

}  // namespace ydr::tool
