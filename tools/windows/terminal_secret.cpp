// The password typed at the console, with echo off; read as UTF-16 and kept as UTF-8.
#include <windows.h>

#include <cstring>

#include "platform/process.h"
#include "platform/windows/win32_text.h"
#include "tools/interrupt_cleanup.h"
#include "tools/secret.h"

namespace ydr::tool {

bool Secret::FromTerminal(const char *prompt, std::string *error) {
  const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD saved = 0;
  if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved)) {
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    *error = "no terminal to ask on; give --password-file or --password-fd";
    return false;
  }
  RememberTerminal(reinterpret_cast<long long>(input), &saved, sizeof saved);  // put back on Ctrl-C
  SetConsoleMode(input, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  DWORD written = 0;
  WriteConsoleA(output, prompt, static_cast<DWORD>(std::strlen(prompt)), &written, nullptr);
  wchar_t typed[1024];
  DWORD read = 0;
  const bool ok = ReadConsoleW(input, typed, 1023, &read, nullptr) != FALSE;
  typed[ok ? read : 0] = L'\0';
  SetConsoleMode(input, saved);
  RememberTerminal(0, nullptr, 0);
  WriteConsoleA(output, "\r\n", 2, &written, nullptr);
  CloseHandle(input);
  CloseHandle(output);
  text_.reserve(kMaxSecretBytes + 3);
  text_ = platform::Utf8FromSystemWide(typed);
  platform::Wipe(typed, sizeof typed);
  if (!ok) *error = "cannot read the terminal";
  return TrimLineBreak(ok, error);
}

}  // namespace ydr::tool
