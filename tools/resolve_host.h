// Host names for `ydr send`, whose library client takes only a dotted IPv4 address.
#pragma once

#include <string>

namespace ydr::tool {

// The first IPv4 address of `host`, dotted; false with the resolver's reason.
bool Resolve(const std::string &host, std::string *dotted, std::string *error);

}  // namespace ydr::tool
