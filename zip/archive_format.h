// The archive file's fixed parts: a 48-byte header (a 32-byte signature block, the member
// count, the version), then 32-byte member records, then the names (UTF-16 with a zero
// unit after each), then one compressed stream per packed member. Little-endian throughout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/byte_order.h"

namespace ydr::zip {

inline constexpr std::uint32_t kHeaderSize = 48;
inline constexpr std::uint32_t kRecordSize = 32;
inline constexpr std::size_t kMaxNameUnits = 259;  // a path buffer holds 260 units
// Offsets in the file are 32-bit numbers: every byte of an archive lies below 2^32.
inline constexpr std::uint64_t kArchiveOffsetLimit = std::uint64_t{1} << 32;

inline constexpr std::uint8_t kFlagListed = 0xFF;
inline constexpr std::uint8_t kFlagPacked = 1;
inline constexpr std::uint8_t kFlagNotPacked = 2;
inline constexpr std::uint8_t kFlagFolder = 3;
inline constexpr std::uint8_t kFlagRemoved = 4;
inline constexpr std::uint8_t kFlagInvalid = 0;

enum ErrorCode : unsigned {
  kErrorCreateArchive = 0x1000,
  kErrorOpenSource = 0x2000,
  kErrorSearchFolder = 0x2001,
  kErrorStartCompressor = 0x2002,
  kErrorOpenArchive = 0x4000,
  kErrorSignature = 0x4001,
  kErrorInvalidMember = 0x8000,
  kErrorMakeFolders = 0x8001,
  kErrorStartDecompressor = 0x8002,
  kErrorNeverPacked = 0x8003,
  kErrorCreateOutput = 0x8004,
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
    platform::StoreLittleEndian32(out + 4, data_offset);
    platform::StoreLittleEndian32(out + 8, compressed_length);
    platform::StoreLittleEndian32(out + 12, name_offset);
    platform::StoreLittleEndian16(out + 16, static_cast<std::uint16_t>(name_length));
  }
  static FileRecord Decode(const std::uint8_t in[kRecordSize]) {
    FileRecord r;
    r.flag = in[0];
    r.data_offset = platform::LoadLittleEndian32(in + 4);
    r.compressed_length = platform::LoadLittleEndian32(in + 8);
    r.name_offset = platform::LoadLittleEndian32(in + 12);
    r.name_length = static_cast<std::int16_t>(platform::LoadLittleEndian16(in + 16));
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
