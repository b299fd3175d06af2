// What the command sets up before it reads its arguments, and the arguments as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace ydr::tool {

std::vector<std::string> PrepareProcess(int argc, char **argv);

}  // namespace ydr::tool
