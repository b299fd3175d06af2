// Text for standard output and for the terminal.
#pragma once

#include <string>

#include "portable/utf16.h"

namespace ydr::tool {

// Writes UTF-16 text to standard output as UTF-8; false when the write fails.
bool PrintWide(const portable::WChar *text);
bool PrintLine(const std::string &text);
bool FlushOutput();

// Text that came from a file or an archive (names above all), made safe to show: control
// characters are written as escapes (\n, \t, \x1b, \u0085, ...), so a name can neither forge
// lines of a listing nor move the terminal's cursor. Invalid UTF-8 bytes become \xNN.
std::string Printable(const std::string &utf8);
std::string Printable(const portable::WString &name);

}  // namespace ydr::tool
