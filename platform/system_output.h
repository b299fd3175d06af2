// Where the two kinds of library messages go when no sink is installed (platform/sinks.h):
// the system's message box and debug output on Windows, standard error on POSIX.
#pragma once

namespace ydr::platform {

void ShowSystemMessage(const char *text);
void WriteSystemDebugOutput(const char *text);

}  // namespace ydr::platform
