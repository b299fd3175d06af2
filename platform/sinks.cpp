// The two sinks: a host's (or a test's) when installed, the system's otherwise.
#include "platform/sinks.h"

namespace ydr::platform {
namespace {

struct Sink {
  TextSink sink = nullptr;
  void *user = nullptr;

  void Install(TextSink new_sink, void *new_user) {
    sink = new_sink;
    user = new_user;
  }
  // False when no sink is installed and the text is the system's to show.
  bool Take(const char *text) const {
    if (sink == nullptr) return false;
    sink(text, user);
    return true;
  }
};

Sink g_debug;
Sink g_message;

}  // namespace

void SetDebugSink(TextSink sink, void *user) { g_debug.Install(sink, user); }

void OutputDebugStringA(const char *text) {
  if (text == nullptr) return;
  if (!g_debug.Take(text)) WriteSystemDebugOutput(text);
}

void SetMessageSink(TextSink sink, void *user) { g_message.Install(sink, user); }

void MessageBoxA(const char *text) {
  if (text == nullptr) text = "";
  if (!g_message.Take(text)) ShowSystemMessage(text);
}

}  // namespace ydr::platform
