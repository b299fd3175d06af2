// What ydr says about itself: the overview, each command's usage, the version, and the
// same texts as a manual page and as bash completion, all from the command table.
#pragma once

#include <cstdio>

#include "tools/command.h"

namespace ydr::tool {

void PrintOverview(std::FILE *to);
int PrintUsage(const Command &command);  // on standard output; exit status
int PrintVersion();
// `ydr help [COMMAND | --man | --bash-completion]`.
int Help(const Arguments &args);

}  // namespace ydr::tool
