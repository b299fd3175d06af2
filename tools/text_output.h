#pragma once

#include <string>

#include "platform/utf16.h"

namespace ydr::tool {

// Writes UTF-16 text to standard output as UTF-8; false when the write fails.
bool PrintWide(const platform::WChar *text);
bool PrintLine(const std::string &text);
bool FlushOutput();

}  // namespace ydr::tool
