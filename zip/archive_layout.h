// Writing an archive's fixed parts: the header and the names before the members are
// packed, the record table after (only then are the offsets, lengths and final flags
// known). Every write is checked; the class ignores the results, as its callers expect,
// and the command fails on them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "zip/archive_format.h"

namespace ydr::zip {

// Writes the signature block, the count and every name (with its terminator) from offset
// 0, gives each member its name offset, and leaves the file at the start of the data
// block, whose offset goes to *data_start. The record table is skipped (zeros until
// WriteRecords). False when a write or seek failed or the names pass 4 GiB.
bool WriteHeaderAndNames(std::FILE *archive, std::vector<MemberRecord> *members, std::uint32_t *data_start);

// Writes the record table at offset 48. Members that are not packed get no data offset or
// length. False when a write or seek failed.
bool WriteRecords(std::FILE *archive, const std::vector<MemberRecord> &members);

}  // namespace ydr::zip
