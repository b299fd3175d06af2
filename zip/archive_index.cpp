#include "zip/archive_index.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/files.h"

namespace ydr::zip {
namespace {

// Reads `size` bytes at `offset` (positioned reads, the stream's place untouched); what the
// file lacks reads as zeros. False when the system fails the read (errno says why): a disk
// error must never pass for an empty or zeroed index.
bool ReadAt(std::FILE *file, std::int64_t offset, void *out, std::size_t size) {
  std::memset(out, 0, size);
  if (offset < 0) return true;
  auto *bytes = static_cast<unsigned char *>(out);
  std::size_t done = 0;
  while (done < size) {
    const long long got = platform::ReadAt(file, static_cast<std::uint64_t>(offset) + done, bytes + done, size - done);
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// The index is read in many small pieces (a record, a name) that mostly lie close together:
// they are served from a window of the file read ahead in one call.
class WindowedReader {
 public:
  explicit WindowedReader(std::FILE *file) : file_(file) {}

  // As ReadAt.
  bool Read(std::int64_t offset, void *out, std::size_t size) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) < start_ ||
        static_cast<std::uint64_t>(offset) + size > start_ + length_) {
      start_ = offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
      window_.resize(std::max<std::size_t>(size, kWindow));
      length_ = 0;
      if (!ReadAt(file_, static_cast<std::int64_t>(start_), window_.data(), window_.size())) return false;
      length_ = window_.size();  // what the file lacks is zeros, as ReadAt gives
    }
    std::memcpy(out, window_.data() + (static_cast<std::uint64_t>(offset) - start_), size);
    return true;
  }

 private:
  static constexpr std::size_t kWindow = 1 << 16;
  std::FILE *file_;
  std::vector<std::uint8_t> window_;
  std::uint64_t start_ = 0, length_ = 0;
};

std::uint64_t FileSize(std::FILE *file) {
  if (!platform::SeekStreamToEnd(file)) return 0;
  const std::int64_t size = platform::StreamPosition(file);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

IndexStatus ReadIndex(std::FILE *archive, ArchiveIndex *index) {
  index->members.clear();
  index->past_end.clear();
  index->declared_members = 0;
  index->file_size = FileSize(archive);
  index->names_end = kHeaderSize;
  std::uint8_t signature[32];
  if (!ReadAt(archive, 0, signature, sizeof signature)) return IndexStatus::kReadFailed;
  if (index->file_size < sizeof signature || std::memcmp(signature, kSignature.bytes, sizeof signature) != 0) {
    return IndexStatus::kNotAnArchive;
  }
  std::uint8_t counts[16];
  if (!ReadAt(archive, 32, counts, sizeof counts)) return IndexStatus::kReadFailed;
  std::int64_t count = static_cast<std::int32_t>(portable::LoadLittleEndian32(counts));
  index->declared_members = count;
  const std::int64_t size = static_cast<std::int64_t>(index->file_size);
  const std::int64_t room = size > kHeaderSize ? (size - kHeaderSize) / kRecordSize : 0;
  count = std::min(count, room);

  WindowedReader records(archive), names(archive);
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint8_t bytes[kRecordSize];
    if (!records.Read(kHeaderSize + kRecordSize * i, bytes, sizeof bytes)) return IndexStatus::kReadFailed;
    const FileRecord record = FileRecord::Decode(bytes);
    MemberRecord entry{record.flag, record.data_offset, record.compressed_length, record.name_offset, Name()};
    const std::int64_t name_bytes = 2 * (static_cast<std::int64_t>(record.name_length) + 1);
    const bool name_fits = record.name_length >= 0 && static_cast<std::size_t>(record.name_length) <= kMaxNameUnits &&
                           static_cast<std::int64_t>(record.name_offset) + name_bytes <= size;
    const bool data_fits = record.flag != kFlagPacked || static_cast<std::int64_t>(record.data_offset) < size;
    // The name is read whenever it lies inside the file, whatever else is wrong: a member
    // whose data were cut off still has its name.
    if (name_fits) {
      std::uint8_t raw[2 * (kMaxNameUnits + 1)];
      if (!names.Read(record.name_offset, raw, static_cast<std::size_t>(name_bytes))) return IndexStatus::kReadFailed;
      // The name runs to its first zero unit within length + 1 units (the stored
      // terminator's place included), and never past the 259 units a path buffer holds.
      const std::int64_t units = std::min<std::int64_t>(record.name_length + 1, kMaxNameUnits);
      for (std::int64_t u = 0; u < units; ++u) {
        const auto unit = portable::LoadLittleEndian16(raw + 2 * u);
        if (unit == 0) break;
        entry.name.push_back(unit);
      }
      index->names_end = record.name_offset + name_bytes;
    }
    if (!name_fits || !data_fits) {
      if (name_fits) index->past_end.push_back(index->members.size());
      entry.flag = kFlagInvalid;
    }
    index->members.push_back(std::move(entry));
  }
  return IndexStatus::kOk;
}

std::vector<DataPlace> PlaceData(const ArchiveIndex &index) {
  std::vector<DataPlace> places(index.members.size(), DataPlace::kNone);
  for (const std::size_t i : index.past_end) places[i] = DataPlace::kCutOff;
  struct Range {
    std::uint64_t start, end;
    std::size_t member;
  };
  std::vector<Range> ranges;
  for (std::size_t i = 0; i < index.members.size(); ++i) {
    const MemberRecord &m = index.members[i];
    if (m.flag != kFlagPacked) continue;
    std::uint64_t end = std::uint64_t{m.data_offset} + m.compressed_length;
    if (end > index.file_size) {
      // Cut off, yet still claiming the bytes up to the end of the file: a member pointing
      // into them shares another's data, not a stream of its own.
      places[i] = DataPlace::kCutOff;
      end = index.file_size;
      if (m.data_offset >= end) continue;
    } else {
      places[i] = DataPlace::kInside;
    }
    // Every stream takes at least its trailer: an empty range still claims its first byte,
    // so two members can never share a start unnoticed.
    ranges.push_back({m.data_offset, std::max(end, std::uint64_t{m.data_offset} + 1), i});
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) {
    return a.start != b.start ? a.start < b.start : a.member < b.member;
  });
  // In order of start, a range overlaps an earlier one exactly when it starts before the
  // furthest end seen so far; the member that holds that end is then part of the overlap
  // too. Each member that overlaps any other is met this way (as the later of the two, or
  // as the holder of the furthest end when the next overlapping range comes).
  const Range *furthest = nullptr;
  for (const Range &range : ranges) {
    if (furthest != nullptr && range.start < furthest->end) {
      for (const std::size_t member : {range.member, furthest->member}) {
        if (places[member] != DataPlace::kCutOff) places[member] = DataPlace::kShared;
      }
    }
    if (furthest == nullptr || range.end > furthest->end) furthest = &range;
  }
  return places;
}

}  // namespace ydr::zip
