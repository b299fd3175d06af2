#include "zip/member_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/files.h"
#include "ydr/gz.h"

namespace ydr::zip {
namespace {

// An empty file is packed as a zero-byte write followed by the end of the input: an empty
// final block, a second empty final block, and a zero trailer. The reader stops after the
// first block and takes the second for its trailer, which then does not match; these exact
// twelve bytes are therefore an empty member, not a damaged one.
constexpr unsigned char kEmptyMemberStream[12] = {0x03, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

// The member's recorded data range: the reader gets nothing beyond it, so a stream that
// runs on past its record (into the next member, say) fails instead of being read. The
// range is read ahead in large positioned reads, so a small member costs one call.
struct BoundedSource {
  std::FILE *file;
  std::uint64_t offset;  // of the next byte to read ahead
  std::uint64_t left;    // bytes of the range not yet read ahead
  unsigned char *ahead;  // kReadAhead bytes
  std::size_t ahead_start = 0, ahead_end = 0;
  static constexpr std::size_t kReadAhead = 1 << 16;
};

int ReadBounded(YDRGZ, void *user, void *buffer, int count) {
  auto *source = static_cast<BoundedSource *>(user);
  if (source->ahead_start == source->ahead_end) {
    const std::size_t wanted = std::min<std::uint64_t>(BoundedSource::kReadAhead, source->left);
    const long long got = wanted == 0 ? 0 : platform::ReadAt(source->file, source->offset, source->ahead, wanted);
    if (got <= 0) return 0;  // the end of the range or of the file, or a failed read: no more data
    source->offset += static_cast<std::uint64_t>(got);
    source->left -= static_cast<std::uint64_t>(got);
    source->ahead_start = 0;
    source->ahead_end = static_cast<std::size_t>(got);
  }
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), source->ahead_end - source->ahead_start);
  std::memcpy(buffer, source->ahead + source->ahead_start, n);
  source->ahead_start += n;
  return static_cast<int>(n);
}

bool IsEmptyMemberStream(std::FILE *archive, const UnpackRange &range) {
  if (range.length != sizeof kEmptyMemberStream && range.length != UINT64_MAX) return false;
  unsigned char bytes[sizeof kEmptyMemberStream];
  // A positioned read, as every other read of a member: the stream's position is shared by
  // the threads that unpack members of one archive.
  return platform::ReadAt(archive, range.offset, bytes, sizeof bytes) == static_cast<long long>(sizeof bytes) &&
         std::memcmp(bytes, kEmptyMemberStream, sizeof bytes) == 0;
}

struct ArchiveSink {
  std::FILE *file;
  std::uint64_t position;
  std::uint64_t limit;
  bool write_failed = false;
  bool too_large = false;
};

int WriteChecked(YDRGZ, void *user, const void *buffer, int count) {
  auto *sink = static_cast<ArchiveSink *>(user);
  if (sink->write_failed || sink->too_large) return count;  // the member is lost anyway
  const auto n = static_cast<std::uint64_t>(count);
  if (sink->position + n > sink->limit) {
    sink->too_large = true;
    return count;
  }
  if (std::fwrite(buffer, 1, static_cast<std::size_t>(count), sink->file) != static_cast<std::size_t>(count)) {
    sink->write_failed = true;
    return count;
  }
  sink->position += n;
  return count;
}

}  // namespace

StreamStatus UnpackStream(std::FILE *archive, const UnpackRange &range, bool check_trailer, const ByteSink &sink) {
  // The buffers come with the member, as the decompressor does: per-thread buffers would need
  // a destructor registered for each thread, which the C runtime cannot fail gracefully (it
  // aborts the process when that registration runs out of memory).
  constexpr int kBuffer = 1 << 16;
  const std::unique_ptr<unsigned char[]> ahead(new (std::nothrow) unsigned char[BoundedSource::kReadAhead]);
  const std::unique_ptr<unsigned char[]> decoded(new (std::nothrow) unsigned char[kBuffer]);
  if (ahead == nullptr || decoded == nullptr) return StreamStatus::kNoDecompressor;
  BoundedSource source{archive, range.offset, range.length, ahead.get()};
  YDRGZ reader = YdrGZOpenRead(ReadBounded, &source);
  if (reader == nullptr) return StreamStatus::kNoDecompressor;
  unsigned char *const buffer = decoded.get();
  std::uint64_t delivered = 0;
  int got;
  bool sink_failed = false;
  while ((got = YdrGZRead(reader, buffer, kBuffer)) > 0) {
    delivered += static_cast<std::uint64_t>(got);
    if (!sink(buffer, static_cast<std::size_t>(got))) {
      sink_failed = true;
      break;
    }
  }
  const int closed = YdrGZCloseRead(reader);  // always: it frees the handle
  if (sink_failed) return StreamStatus::kSinkFailed;
  if (got < 0) return StreamStatus::kCorrupt;
  if (!check_trailer || closed >= 0) return StreamStatus::kOk;
  if (delivered == 0 && IsEmptyMemberStream(archive, range)) return StreamStatus::kOk;
  return StreamStatus::kTrailerMismatch;
}

const char *Describe(StreamStatus status) {
  switch (status) {
    case StreamStatus::kOk: return "ok";
    case StreamStatus::kNoDecompressor: return "out of memory for the decompressor";
    case StreamStatus::kCorrupt: return "the compressed data is damaged or incomplete";
    case StreamStatus::kTrailerMismatch: return "the CRC-32 or length check failed";
    case StreamStatus::kSinkFailed: return "the output was refused";
  }
  return "failed";
}

PackStatus PackStream(std::FILE *archive, std::FILE *source, PackedMember *member, std::uint64_t limit,
                      const std::function<void(std::size_t)> &progress) {
  const std::int64_t start = platform::StreamPosition(archive);
  if (start < 0) return PackStatus::kWriteFailed;
  ArchiveSink sink{archive, static_cast<std::uint64_t>(start), limit};
  YDRGZ writer = YdrGZOpenWrite(WriteChecked, &sink);
  if (writer == nullptr) return PackStatus::kNoCompressor;
  // Small reads first; a member that fills them is read in larger pieces, up to 16 MiB,
  // writes the compressor shares among its threads (the stream does not depend on how its
  // input is cut). Without memory for a larger piece, the smaller one serves.
  char first[1024];
  std::unique_ptr<char[]> large;
  char *buffer = first;
  std::size_t size = sizeof first;
  std::size_t got;
  do {
    got = std::fread(buffer, 1, size, source);
    YdrGZWrite(writer, buffer, static_cast<int>(got));
    if (progress && got > 0) progress(got);
    constexpr std::size_t kLargest = 16u << 20;
    if (got == size && size < kLargest) {
      const std::size_t next = std::min(size * 64, kLargest);
      std::unique_ptr<char[]> larger(new (std::nothrow) char[next]);
      if (larger) {
        large = std::move(larger);
        buffer = large.get();
        size = next;
      }
    }
  } while (got > 0 && !sink.too_large && !sink.write_failed);
  const bool read_failed = std::ferror(source) != 0;
  YdrGZCloseWrite(writer);
  if (sink.write_failed) return PackStatus::kWriteFailed;
  if (sink.too_large) {
    // Take the member's bytes back: the next member starts where this one did.
    return platform::SeekStream(archive, static_cast<std::uint64_t>(start)) ? PackStatus::kTooLarge
                                                                            : PackStatus::kWriteFailed;
  }
  member->data_offset = static_cast<std::uint32_t>(start);
  member->compressed_length = static_cast<std::uint32_t>(sink.position - static_cast<std::uint64_t>(start));
  return read_failed ? PackStatus::kReadFailed : PackStatus::kOk;
}

namespace {

int AppendToString(YDRGZ, void *user, const void *buffer, int count) {
  static_cast<std::string *>(user)->append(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
  return count;
}

}  // namespace

PackStatus CompressToMemory(std::FILE *source, std::string *stream, const std::function<void(std::size_t)> &progress) {
  stream->clear();
  YDRGZ writer = YdrGZOpenWrite(AppendToString, stream);
  if (writer == nullptr) return PackStatus::kNoCompressor;
  // The stream does not depend on how its input is cut, so these reads give PackStream's
  // bytes. Members compressed here run beside others on the packer's threads: their writes
  // stay small enough for the compressor to keep them on this one.
  static constexpr std::size_t kRead = 1 << 16;
  std::unique_ptr<char[]> buffer(new char[kRead]);
  std::size_t got;
  do {
    got = std::fread(buffer.get(), 1, kRead, source);
    YdrGZWrite(writer, buffer.get(), static_cast<int>(got));
    if (progress && got > 0) progress(got);
  } while (got > 0);
  const bool read_failed = std::ferror(source) != 0;
  YdrGZCloseWrite(writer);
  return read_failed ? PackStatus::kReadFailed : PackStatus::kOk;
}

PackStatus WriteCompressed(std::FILE *archive, const std::string &stream, PackedMember *member, std::uint64_t limit) {
  const std::int64_t start = platform::StreamPosition(archive);
  if (start < 0) return PackStatus::kWriteFailed;
  if (static_cast<std::uint64_t>(start) + stream.size() > limit) return PackStatus::kTooLarge;
  if (std::fwrite(stream.data(), 1, stream.size(), archive) != stream.size()) return PackStatus::kWriteFailed;
  member->data_offset = static_cast<std::uint32_t>(start);
  member->compressed_length = static_cast<std::uint32_t>(stream.size());
  return PackStatus::kOk;
}

}  // namespace ydr::zip
