// Messages: where the library's debug output and messages to the user go, on Windows.
#include "platform/sinks.h"

#include <windows.h>

namespace ydr::platform {

// No owner window, the default caption, one OK button. Without a desktop the call returns
// at once; the library's call fails on regardless.
void ShowSystemMessage(const char *text) { ::MessageBoxA(nullptr, text, nullptr, MB_OK); }

void WriteSystemDebugOutput(const char *text) { ::OutputDebugStringA(text); }

}  // namespace ydr::platform
