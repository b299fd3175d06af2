// Where a stored member name lands below a destination, for callers that unpack by the
// name as stored (the command): a drive and leading separators are dropped, "." goes, ".."
// climbs but never above the destination, and both separators divide. "d2\f.txt" lands at
// d2/f.txt, "C:\docs\a.txt" at docs/a.txt, "../../x" at x. (CYdrZIP takes the absolute
// form of the name first instead, as its hosts expect.)
#pragma once

#include <string>
#include <vector>

#include "zip/archive_format.h"

namespace ydr::zip {

// The name's path below a destination, as UTF-8 components; `flat` keeps only the file
// name. Empty when nothing is left (a name such as "..\" or "C:\").
std::vector<std::string> FoldedMemberPath(const Name &name, bool flat);

// The pattern a member name is matched against: a pattern without a backslash matches a
// name stored with folders in any folder, so "*\" goes in front.
Name PatternForName(const Name &pattern, const Name &name);

}  // namespace ydr::zip
