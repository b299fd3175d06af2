#include "tools/text_output.h"

#include <cstdio>

namespace ydr::tool {

bool PrintWide(const platform::WChar *text) {
  const std::string utf8 = platform::Utf8FromWide(text);
  return std::fwrite(utf8.data(), 1, utf8.size(), stdout) == utf8.size();
}

bool PrintLine(const std::string &text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fputc('\n', stdout) != EOF;
}

bool FlushOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

}  // namespace ydr::tool
