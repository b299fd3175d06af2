// UTF-8 test text in another code page, converted by the system (iconv, or Windows' own
// tables), never by the library under test.
#pragma once

#include <string>

namespace ydr::test {

// `code_page` is "UTF-8" or "CPn".
std::string ToCodePage(const std::string &utf8, const std::string &code_page);

}  // namespace ydr::test
