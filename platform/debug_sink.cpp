#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sinks.h"

namespace ydr::platform {
namespace {

TextSink g_sink = nullptr;
void *g_user = nullptr;

bool DebugOutputWanted() {
  const char *value = std::getenv("YDR_DEBUG");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

void SetDebugSink(TextSink sink, void *user) {
  g_sink = sink;
  g_user = user;
}

void OutputDebugStringA(const char *text) {
  if (text == nullptr) return;
  if (g_sink != nullptr) {
    g_sink(text, g_user);
    return;
  }
  // Like the system's debug output, the sink reports nothing back: a failed write is lost.
  if (DebugOutputWanted()) {
    static_cast<void>(std::fputs(text, stderr));
    static_cast<void>(std::fflush(stderr));
  }
}

}  // namespace ydr::platform
