// The member list of an archive file as its records and names say, read without trusting
// any of it: the one reader behind CYdrZIP::_ReadHeader and the `ydr` command.
//
// A record whose name lies outside the file, or whose name length is negative or longer
// than a path buffer holds, or whose packed data starts past the end of the file, is kept
// as an invalid member (flag 0) with no name. A member count larger than the file can hold
// is cut to the records present.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zip/archive_format.h"

namespace ydr::zip {

enum class [[nodiscard]] IndexStatus{
    kOk,
    kNotAnArchive,  // shorter than the signature block, or the signature does not match
    kReadFailed,    // the file could not be read (errno says why): nothing is known of it
};

struct ArchiveIndex {
  std::vector<MemberRecord> members;
  std::uint64_t file_size = 0;
  std::int64_t names_end = 0;  // the position after the last name read (48 when empty)
  // Members made invalid because their data start past the end of the file: the file was
  // cut short (the command says so once, not once per member).
  std::vector<std::size_t> past_end;
};

// Reads the header, the records and the names of `archive` (any position; it is moved).
IndexStatus ReadIndex(std::FILE *archive, ArchiveIndex *index);

// Checks that the packed members' data lie inside the file and that no two overlap (an
// archive whose records share data would unpack one stream many times over). Returns the
// index of the first member that breaks the rule, or -1; *truncated tells whether it ends
// past the end of the file rather than overlapping another.
long FindBadDataRange(const ArchiveIndex &index, bool *truncated);

}  // namespace ydr::zip
