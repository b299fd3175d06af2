// The Windows number of a code page the library names ("CP949", "UTF-8", "949"); 0 when the
// name is none of these or the system lacks the code page.
#pragma once

#include <string>

namespace ydr::platform {

unsigned int CodePageNumber(const std::string &name);

}  // namespace ydr::platform
