#include "zip/archive_layout.h"

#include <string>

#include "platform/files.h"

namespace ydr::zip {

bool WriteHeaderAndNames(std::FILE *archive, std::vector<MemberRecord> *members, std::uint32_t *data_start) {
  std::uint8_t header[kHeaderSize] = {};
  std::memcpy(header, kSignature.bytes, sizeof kSignature.bytes);
  portable::StoreLittleEndian32(header + 32, static_cast<std::uint32_t>(members->size()));
  header[36] = 1;  // version 1.0
  header[37] = 0;
  bool ok = platform::SeekStream(archive, 0) && std::fwrite(header, 1, sizeof header, archive) == sizeof header;

  std::uint64_t offset = kHeaderSize + std::uint64_t{kRecordSize} * members->size();
  for (MemberRecord &member : *members) {
    member.name_offset = static_cast<std::uint32_t>(offset);
    offset += 2 * (std::uint64_t{member.name.size()} + 1);
  }
  if (offset >= kArchiveOffsetLimit) return false;
  // The names follow one another from the first name offset, so one pass writes them all.
  if (!members->empty()) ok = ok && platform::SeekStream(archive, members->front().name_offset);
  std::string bytes;
  for (const MemberRecord &member : *members) {
    bytes.clear();
    for (unsigned short unit : member.name) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    bytes.append(2, '\0');
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), archive) == bytes.size();
  }
  ok = ok && platform::SeekStream(archive, offset);
  *data_start = static_cast<std::uint32_t>(offset);
  return ok;
}

bool WriteRecords(std::FILE *archive, const std::vector<MemberRecord> &members) {
  bool ok = platform::SeekStream(archive, kHeaderSize);
  for (const MemberRecord &member : members) {
    const bool packed = member.flag == kFlagPacked;
    const FileRecord record{member.flag, packed ? member.data_offset : 0, packed ? member.compressed_length : 0,
                            member.name_offset,
                            static_cast<std::int16_t>(member.name.size() > 0x7FFF ? 0x7FFF : member.name.size())};
    std::uint8_t bytes[kRecordSize];
    record.Encode(bytes);
    ok = ok && std::fwrite(bytes, 1, sizeof bytes, archive) == sizeof bytes;
  }
  return ok;
}

}  // namespace ydr::zip
