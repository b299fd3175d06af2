// The archive file's fixed parts: a 48-byte header (a 32-byte signature block, the member
// count, the version), then 32-byte member records, then the names (UTF-16 with a zero
// unit after each), then one compressed stream per packed member. Little-endian throughout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "portable/byte_order.h"
#include "ydr/zip.h"

namespace ydr::zip {

inline constexpr std::uint32_t kHeaderSize = 48;
inline constexpr std::uint32_t kRecordSize = 32;
inline constexpr std::size_t kMaxNameUnits = 259;  // a path buffer holds 260 units
// Offsets in the file are 32-bit numbers: every byte of an archive lies below 2^32.
inline constexpr std::uint64_t kArchiveOffsetLimit = std::uint64_t{1} << 32;

// The member flags and error codes are the public header's.
inline constexpr std::uint8_t kFlagListed = YDR_ZIP_FLAG_LISTED;
inline constexpr std::uint8_t kFlagPacked = YDR_ZIP_FLAG_PACKED;
inline constexpr std::uint8_t kFlagNotPacked = YDR_ZIP_FLAG_NOT_PACKED;
inline constexpr std::uint8_t kFlagFolder = YDR_ZIP_FLAG_FOLDER;
inline constexpr std::uint8_t kFlagRemoved = YDR_ZIP_FLAG_REMOVED;
inline constexpr std::uint8_t kFlagInvalid = 0;  // what a reader makes of a record it cannot trust

enum ErrorCode : unsigned {
  kErrorCreateArchive = YDR_ZIP_ERROR_CREATE_ARCHIVE,
  kErrorOpenSource = YDR_ZIP_ERROR_OPEN_SOURCE,
  kErrorSearchFolder = YDR_ZIP_ERROR_SEARCH_FOLDER,
  kErrorStartCompressor = YDR_ZIP_ERROR_START_COMPRESSOR,
  kErrorOpenArchive = YDR_ZIP_ERROR_OPEN_ARCHIVE,
  kErrorSignature = YDR_ZIP_ERROR_SIGNATURE,
  kErrorInvalidMember = YDR_ZIP_ERROR_INVALID_MEMBER,
  kErrorMakeFolders = YDR_ZIP_ERROR_MAKE_FOLDERS,
  kErrorStartDecompressor = YDR_ZIP_ERROR_START_DECOMPRESSOR,
  kErrorNeverPacked = YDR_ZIP_ERROR_NEVER_PACKED,
  kErrorCreateOutput = YDR_ZIP_ERROR_CREATE_OUTPUT,
};

// The signature block: "YdrZip 1.0\r\n", 0x1A, 19 zero bytes.
struct SignatureBlock {
  std::uint8_t bytes[32];
};
constexpr SignatureBlock MakeSignatureBlock() {
  SignatureBlock b{};
  const char text[] = "YdrZip 1.0\r\n";
  for (int i = 0; i < 12; ++i) b.bytes[i] = static_cast<std::uint8_t>(text[i]);
  b.bytes[12] = 0x1A;
  return b;
}
inline constexpr SignatureBlock kSignature = MakeSignatureBlock();

// One member record as the file holds it.
struct FileRecord {
  std::uint8_t flag;
  std::uint32_t data_offset;
  std::uint32_t compressed_length;
  std::uint32_t name_offset;
  std::int16_t name_length;  // units, without the terminator; read as signed

  void Encode(std::uint8_t out[kRecordSize]) const {
    std::memset(out, 0, kRecordSize);
    out[0] = flag;
    portable::StoreLittleEndian32(out + 4, data_offset);
    portable::StoreLittleEndian32(out + 8, compressed_length);
    portable::StoreLittleEndian32(out + 12, name_offset);
    portable::StoreLittleEndian16(out + 16, static_cast<std::uint16_t>(name_length));
  }
  static FileRecord Decode(const std::uint8_t in[kRecordSize]) {
    FileRecord r;
    r.flag = in[0];
    r.data_offset = portable::LoadLittleEndian32(in + 4);
    r.compressed_length = portable::LoadLittleEndian32(in + 8);
    r.name_offset = portable::LoadLittleEndian32(in + 12);
    r.name_length = static_cast<std::int16_t>(portable::LoadLittleEndian16(in + 16));
    return r;
  }
};

// A member as the core reads and writes it (CYdrZIP keeps its own public record).
using Name = std::basic_string<unsigned short>;
struct MemberRecord {
  std::uint8_t flag = kFlagListed;
  std::uint32_t data_offset = 0;
  std::uint32_t compressed_length = 0;
  std::uint32_t name_offset = 0;
  Name name;
};

}  // namespace ydr::zip
