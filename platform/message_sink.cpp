#include "platform/sinks.h"
#include "platform/system_output.h"

namespace ydr::platform {
namespace {

TextSink g_sink = nullptr;
void *g_user = nullptr;

}  // namespace

void SetMessageSink(TextSink sink, void *user) {
  g_sink = sink;
  g_user = user;
}

void MessageBoxA(const char *text) {
  if (text == nullptr) text = "";
  if (g_sink != nullptr) {
    g_sink(text, g_user);
    return;
  }
  ShowSystemMessage(text);
}

}  // namespace ydr::platform
