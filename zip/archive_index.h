// The member list of an archive file as its records and names say, read without trusting
// any of it: the one reader behind CYdrZIP::_ReadHeader and the `ydr` command.
//
// A record whose name lies outside the file, or whose name length is negative or longer
// than a path buffer holds, is kept as an invalid member (flag 0) with no name; one whose
// packed data starts past the end of the file (a cut archive) as an invalid member with its
// name, which is read whatever else is wrong. A member count larger than the file can hold
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
  // The member count the header gives. The records read stop at the end of the file, so
  // more (or a negative count) means the archive was cut short inside its record table.
  std::int64_t declared_members = 0;
};

// Reads the header, the records and the names of `archive` (any position; it is moved).
IndexStatus ReadIndex(std::FILE *archive, ArchiveIndex *index);

// Where a member's packed data lie, as the checks before decoding see them.
enum class DataPlace : std::uint8_t {
  kNone,    // no packed data to check (a folder, a removed, never packed or invalid member)
  kInside,  // inside the file, and no other member's data overlap them
  kCutOff,  // they start or run past the end of the file: the file was cut short
  kShared,  // they share bytes with another member's data, a cut-off member's included (an
            // archive whose records share data would unpack one stream many times over)
};

// The place of every member's data, in archive order. Every member is checked whatever the
// others are: a member cut off by the end of the file does not hide that others share their
// data. One sort of the ranges, so the check takes n log n for n members.
std::vector<DataPlace> PlaceData(const ArchiveIndex &index);

}  // namespace ydr::zip
