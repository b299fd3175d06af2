#include "platform/sinks.h"
#include "platform/system_output.h"

namespace ydr::platform {
namespace {

TextSink g_sink = nullptr;
void *g_user = nullptr;

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
  WriteSystemDebugOutput(text);
}

}  // namespace ydr::platform
