// Messages: where the library's debug output and messages to the user go, on POSIX.
#include "platform/sinks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ydr::platform {

namespace {

bool DebugOutputWanted() {
  const char *value = std::getenv("YDR_DEBUG");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

void ShowSystemMessage(const char *text) {
  // Nothing can be done about a message that cannot be shown; the call fails on regardless.
  static_cast<void>(std::fprintf(stderr, "%s\n", text));
  static_cast<void>(std::fflush(stderr));
}

void WriteSystemDebugOutput(const char *text) {
  // Like the system's debug output, the sink reports nothing back: a failed write is lost.
  if (DebugOutputWanted()) {
    static_cast<void>(std::fputs(text, stderr));
    static_cast<void>(std::fflush(stderr));
  }
}

}  // namespace ydr::platform
