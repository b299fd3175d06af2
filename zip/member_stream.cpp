#include "zip/member_stream.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ydr/gz.h"

namespace ydr::zip {
namespace {

// An empty file is packed as a zero-byte write followed by the end of the input: an empty
// final block, a second empty final block, and a zero trailer. The reader stops after the
// first block and takes the second for its trailer, which then does not match; these exact
// twelve bytes are therefore an empty member, not a damaged one.
constexpr unsigned char kEmptyMemberStream[12] = {0x03, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

// The member's recorded data range: the reader gets nothing beyond it, so a stream that
// runs on past its record (into the next member, say) fails instead of being read.
struct BoundedSource {
  std::FILE *file;
  std::uint64_t left;
};

int ReadBounded(YDRGZ, void *user, void *buffer, int count) {
  auto *source = static_cast<BoundedSource *>(user);
  const std::size_t wanted = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), source->left);
  const std::size_t got = wanted == 0 ? 0 : std::fread(buffer, 1, wanted, source->file);
  source->left -= got;
  return static_cast<int>(got);
}

bool IsEmptyMemberStream(std::FILE *archive, const UnpackRange &range) {
  if (range.length != sizeof kEmptyMemberStream && range.length != UINT64_MAX) return false;
  unsigned char bytes[sizeof kEmptyMemberStream];
  return fseeko(archive, static_cast<off_t>(range.offset), SEEK_SET) == 0 &&
         std::fread(bytes, 1, sizeof bytes, archive) == sizeof bytes &&
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
  if (fseeko(archive, static_cast<off_t>(range.offset), SEEK_SET) != 0) return StreamStatus::kCorrupt;
  BoundedSource source{archive, range.length};
  YDRGZ reader = YdrGZOpenRead(ReadBounded, &source);
  if (reader == nullptr) return StreamStatus::kNoDecompressor;
  unsigned char buffer[16384];
  std::uint64_t delivered = 0;
  int got;
  bool sink_failed = false;
  while ((got = YdrGZRead(reader, buffer, sizeof buffer)) > 0) {
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
  const off_t start = ftello(archive);
  if (start < 0) return PackStatus::kWriteFailed;
  ArchiveSink sink{archive, static_cast<std::uint64_t>(start), limit};
  YDRGZ writer = YdrGZOpenWrite(WriteChecked, &sink);
  if (writer == nullptr) return PackStatus::kNoCompressor;
  char buffer[1024];
  std::size_t got;
  do {
    got = std::fread(buffer, 1, sizeof buffer, source);
    YdrGZWrite(writer, buffer, static_cast<int>(got));
    if (progress && got > 0) progress(got);
  } while (got > 0 && !sink.too_large && !sink.write_failed);
  const bool read_failed = std::ferror(source) != 0;
  YdrGZCloseWrite(writer);
  if (sink.write_failed) return PackStatus::kWriteFailed;
  if (sink.too_large) {
    // Take the member's bytes back: the next member starts where this one did.
    return fseeko(archive, start, SEEK_SET) == 0 ? PackStatus::kTooLarge : PackStatus::kWriteFailed;
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
  // The stream does not depend on how its input is cut, so large reads give PackStream's bytes.
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
  const off_t start = ftello(archive);
  if (start < 0) return PackStatus::kWriteFailed;
  if (static_cast<std::uint64_t>(start) + stream.size() > limit) return PackStatus::kTooLarge;
  if (std::fwrite(stream.data(), 1, stream.size(), archive) != stream.size()) return PackStatus::kWriteFailed;
  member->data_offset = static_cast<std::uint32_t>(start);
  member->compressed_length = static_cast<std::uint32_t>(stream.size());
  return PackStatus::kOk;
}

}  // namespace ydr::zip
