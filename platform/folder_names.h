// Names below a destination folder, the same on every platform: which are refused, and the
// temporary name a file is written under before it takes its own.
#pragma once

#include <string>

#include "platform/destination_folder.h"

namespace ydr::platform {

// "", "." and "..", and anything holding a separator.
bool IsBadComponent(const std::string &name);
// A new name on each call: "." + the name's start + a random suffix + ".part".
std::string TemporaryNameFor(const std::string &name);
// Fills in the problem; always false, so that a caller can return it.
bool FailWith(FolderProblem *problem, FolderProblem::Kind kind, const std::string &component, int error = 0);
// Why a name that should be a folder (or a file) is not one: a link is kLink, anything
// else there is `wrong_kind`, nothing there is the system's `error`.
bool FailForKind(DestinationFolder::EntryKind kind, FolderProblem::Kind wrong_kind, const std::string &where, int error,
                 FolderProblem *problem);

}  // namespace ydr::platform
