// Messages: where the library's debug output and messages to the user go.
#pragma once

namespace ydr::platform {

// Where the library's two kinds of messages go. On Windows: OutputDebugStringA (seen only
// under a debugger) and MessageBoxA (seen by the user). On POSIX:
//  - the debug sink writes to standard error only when YDR_DEBUG is set to a non-empty
//    value other than "0";
//  - the message sink writes the text on one line to standard error.
// A host, or a test, may install its own sink; null restores the default. Installing is
// not synchronised with calls in other threads: install before the library is used.
using TextSink = void (*)(const char *text, void *user);

void OutputDebugStringA(const char *text);
void SetDebugSink(TextSink sink, void *user);

// Shows a message with no owner window, the default caption and one OK button.
void MessageBoxA(const char *text);
void SetMessageSink(TextSink sink, void *user);

// Where the two kinds of messages go when no sink is installed: the system's message box
// and debug output on Windows, standard error on POSIX.
void ShowSystemMessage(const char *text);
void WriteSystemDebugOutput(const char *text);

}  // namespace ydr::platform
