#include <cstdio>

#include "platform/sinks.h"

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
  // Nothing can be done about a message that cannot be shown; the call fails on regardless.
  static_cast<void>(std::fprintf(stderr, "%s\n", text));
  static_cast<void>(std::fflush(stderr));
}

}  // namespace ydr::platform
