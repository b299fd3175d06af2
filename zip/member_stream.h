// One member's compressed stream, in and out of the archive file: the step that both
// CYdrZIP and the `ydr` command take for every member.
//
// Unpacking hands the decoded bytes to a sink as they come and says exactly what went
// wrong, if anything; a caller that must not keep a damaged member (the command) reads only
// inside the member's recorded data range and checks the trailer, while CYdrZIP keeps its
// documented behaviour (it reads on to the end of the stream and counts the member as
// unpacked whatever the stream says).
//
// Packing compresses a source into the archive at its current position exactly as
// CYdrZIP::_CompressFile does (1024-byte reads, then a write of the last, empty read), so
// that the command and the class write the same bytes, and checks every write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "zip/archive_format.h"

namespace ydr::zip {

enum class [[nodiscard]] StreamStatus{
    kOk,
    kNoDecompressor,   // the stream reader could not be opened (memory)
    kCorrupt,          // the deflate data is damaged, or ends (or its range does) too early
    kTrailerMismatch,  // the CRC-32 or the length in the trailer does not match
    kSinkFailed,       // the sink refused the bytes (a failed write, an output limit)
};

struct UnpackRange {
  std::uint64_t offset = 0;
  // Bytes the reader may take from `offset` on; UINT64_MAX: up to the end of the file.
  std::uint64_t length = UINT64_MAX;
};

// Gets bytes; false stops unpacking with kSinkFailed.
using ByteSink = std::function<bool(const void *data, std::size_t size)>;

// Decodes the stream at range.offset into `sink`. `check_trailer` false: the trailer is not
// looked at and only corrupt data fails (CYdrZIP's rule); true: a mismatch fails.
StreamStatus UnpackStream(std::FILE *archive, const UnpackRange &range, bool check_trailer, const ByteSink &sink);

// Words for a status, for messages: "the data is damaged", ...
const char *Describe(StreamStatus status);

enum class [[nodiscard]] PackStatus{
    kOk,
    kNoCompressor,  // the stream writer could not be opened (memory)
    kReadFailed,    // reading the source failed (the member is still complete up to there)
    kWriteFailed,   // writing the archive failed: the archive is unusable
    kTooLarge,      // the member would reach past `limit`; its data has been taken back
};

struct PackedMember {
  std::uint32_t data_offset = 0;
  std::uint32_t compressed_length = 0;
};

// Compresses `source` into `archive` at its current position. When the stream would reach
// past `limit`, nothing more is written, the position goes back to the member's start, and
// kTooLarge is returned. `progress`, when set, gets the number of source bytes read.
PackStatus PackStream(std::FILE *archive, std::FILE *source, PackedMember *member,
                      std::uint64_t limit = kArchiveOffsetLimit,
                      const std::function<void(std::size_t)> &progress = nullptr);

// The same in two steps, so that members can be compressed apart from the archive (on other
// threads) and written in order: CompressToMemory makes the stream PackStream would write
// (kOk, kReadFailed or kNoCompressor), WriteCompressed puts it at the archive's position
// (kOk, kWriteFailed, or kTooLarge with nothing written).
PackStatus CompressToMemory(std::FILE *source, std::string *stream,
                            const std::function<void(std::size_t)> &progress = nullptr);
PackStatus WriteCompressed(std::FILE *archive, const std::string &stream, PackedMember *member,
                           std::uint64_t limit = kArchiveOffsetLimit);

}  // namespace ydr::zip
