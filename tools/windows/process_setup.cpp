#include <windows.h>
// after windows.h, whose types it uses
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/windows/win32_text.h"
#include "tools/interrupt_cleanup.h"
#include "tools/process_setup.h"

namespace ydr::tool {

std::vector<std::string> PrepareProcess(int argc, char **argv) {
  // Streams carry bytes: no line ends added on the way out, none taken away on the way in.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Messages are UTF-8; so is what a console shows.
  SetConsoleOutputCP(CP_UTF8);
  CleanUpOnInterrupt();
  // The arguments as typed, not through the ANSI code page.
  int count = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(platform::Utf8FromSystemWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace ydr::tool
