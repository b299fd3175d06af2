// Reading an archive and unpacking its members.
//
// The member list is read whole, trusting nothing: a record whose name or data lies outside
// the file, or whose name length is out of range, is kept as an invalid member with no
// name, and a member count larger than the file can hold is cut to the records present.
//
// An output path is the destination followed by the member's stored name in absolute form
// (".." and "." folded, never above the root), without its drive and its leading
// separators. So whatever the stored name says, the output lies under the destination.
#include <algorithm>
#include <cstring>
#include <string>

#include "frame/base_services.h"
#include "platform/split_path.h"
#include "platform/utf16.h"
#include "ydr/gz.h"
#include "ydr/zip.h"
#include "zip/archive_format.h"

namespace {

using ydr::platform::WideLength;
namespace zip = ydr::zip;

const unsigned short kModeRead[] = {'r', 'b', 0};
const unsigned short kModeWrite[] = {'w', 'b', 0};

int ReadFromArchive(YDRGZ, void *file, void *buffer, int count) {
  return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(count), static_cast<FILE *>(file)));
}

// Reads `size` bytes at `offset`; what the file lacks reads as zeros.
void ReadAt(FILE *file, long offset, void *out, std::size_t size) {
  std::memset(out, 0, size);
  if (std::fseek(file, offset, SEEK_SET) == 0) std::fread(out, 1, size, file);
}

long FileSize(FILE *file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file);
  return size < 0 ? 0 : size;
}

bool IsSeparator(unsigned short c) { return c == '\\' || c == '/'; }

}  // namespace

long CYdrZIP::_ReadHeader(FILE *archive) {
  std::uint8_t signature[32];
  ReadAt(archive, 0, signature, sizeof signature);
  const long size = FileSize(archive);
  if (size < 32 || std::memcmp(signature, zip::kSignature.bytes, sizeof signature) != 0) {
    _AddError(zip::kErrorSignature, -1);
    return -1;
  }
  std::uint8_t counts[16];
  ReadAt(archive, 32, counts, sizeof counts);
  long count = static_cast<std::int32_t>(zip::Load32(counts));
  const long room = size > static_cast<long>(zip::kHeaderSize) ? (size - zip::kHeaderSize) / zip::kRecordSize : 0;
  if (count > room) count = room;

  long position = zip::kHeaderSize;
  for (long i = 0; i < count; ++i) {
    std::uint8_t bytes[zip::kRecordSize];
    ReadAt(archive, static_cast<long>(zip::kHeaderSize + zip::kRecordSize * static_cast<unsigned long>(i)), bytes,
           sizeof bytes);
    const zip::FileRecord record = zip::FileRecord::Decode(bytes);
    auto *member = new tagYdrZipChildFileInfo{record.flag, record.compressed_length, record.data_offset,
                                              record.name_offset, YdrWString()};
    const long name_bytes = 2L * (record.name_length + 1);
    const bool name_fits = record.name_length >= 0 && static_cast<std::size_t>(record.name_length) <= zip::kMaxNameUnits &&
                           static_cast<long>(record.name_offset) + name_bytes <= size;
    const bool data_fits = record.flag != zip::kFlagPacked || static_cast<long>(record.data_offset) < size;
    if (name_fits && data_fits) {
      std::uint8_t raw[2 * (zip::kMaxNameUnits + 1)];
      ReadAt(archive, static_cast<long>(record.name_offset), raw, static_cast<std::size_t>(name_bytes));
      // The name runs to its first zero unit within length + 1 units (the stored terminator's
      // place included), and never past the 259 units a path buffer holds.
      const long units = std::min<long>(record.name_length + 1L, static_cast<long>(zip::kMaxNameUnits));
      for (long u = 0; u < units; ++u) {
        const auto unit = static_cast<unsigned short>(raw[2 * u] | raw[2 * u + 1] << 8);
        if (unit == 0) break;
        member->name.push_back(unit);
      }
      position = static_cast<long>(record.name_offset) + name_bytes;
    } else {
      member->flag = zip::kFlagInvalid;
    }
    m_members.push_back(member);
  }
  return position;
}

int CYdrZIP::Open(const unsigned short *archivePath) {
  try {
    if (!m_members.empty()) return 0;
    if (m_archive != nullptr) {  // kept from an earlier Open whose archive was not one
      std::fclose(m_archive);
      m_archive = nullptr;
    }
    unsigned short absolute[zip::kMaxNameUnits + 1];
    ydr::bl::YdrPathToAbsolute(archivePath, absolute);
    m_archive = ydr::bl::_u__wfopen(absolute, kModeRead);
    if (m_archive == nullptr) {
      _AddError(zip::kErrorOpenArchive, -1);
      return 0;
    }
    return _ReadHeader(m_archive) >= 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::DecompressZIP(const unsigned short *archivePath, const unsigned short *destDir, unsigned int options) {
  try {
    m_options = options;
    if (!m_members.empty()) return 0;
    unsigned short absolute[zip::kMaxNameUnits + 1];
    ydr::bl::YdrPathToAbsolute(archivePath, absolute);
    FILE *archive = ydr::bl::_u__wfopen(absolute, kModeRead);
    if (archive == nullptr) {
      _AddError(zip::kErrorOpenArchive, -1);
      return 0;
    }
    const int result = _ReadHeader(archive) >= 0 ? _Decompress(archive, destDir) : 0;
    std::fclose(archive);
    return result;
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::ExtractFileList(const unsigned short *destDir, unsigned int options) {
  m_options = options;
  if (m_archive == nullptr) return 0;
  try {
    return _Decompress(m_archive, destDir);
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::ExtractFile(const unsigned short *pattern, const unsigned short *destDir, unsigned int options) {
  m_options = options;
  if (m_archive == nullptr || pattern == nullptr || WideLength(pattern) > zip::kMaxNameUnits) return 0;
  try {
    int count = 0;
    for (tagYdrZipChildFileInfo *member : m_members) {
      if (IsMatchedFile(pattern, member->name.c_str()) && _DecompressFile(member, m_archive, destDir) == 0) ++count;
    }
    return count;
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::ExtractFileByIndex(int index, const unsigned short *destDir, unsigned int options) {
  m_options = options;
  if (index < 0 || static_cast<std::size_t>(index) >= m_members.size() || m_archive == nullptr) return 0;
  try {
    return _DecompressFile(m_members[static_cast<std::size_t>(index)], m_archive, destDir) == 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::_Decompress(FILE *archive, const unsigned short *destDir) {
  int result = 1;
  for (std::size_t i = 0; i < m_members.size(); ++i) {
    if (const long code = _DecompressFile(m_members[i], archive, destDir); code != 0) {
      _AddError(static_cast<int>(code), static_cast<int>(i));
      result = 0;
    }
  }
  return result;
}

long CYdrZIP::_DecompressFile(tagYdrZipChildFileInfo *member, FILE *archive, const unsigned short *destDir) {
  if (member->flag == zip::kFlagRemoved) return 0;
  if (member->flag == zip::kFlagNotPacked) return zip::kErrorNeverPacked;
  if (member->flag != zip::kFlagPacked && member->flag != zip::kFlagFolder) return zip::kErrorInvalidMember;

  unsigned short absolute[zip::kMaxNameUnits + 1];
  if (ydr::bl::YdrPathToAbsolute(member->name.c_str(), absolute) == 0) return zip::kErrorMakeFolders;
  YdrWString output;
  const std::size_t dest_length = WideLength(destDir);
  if (dest_length == 0) {
    output.assign(absolute, WideLength(absolute));
  } else {
    const auto parts = ydr::platform::SplitPath(std::basic_string_view<unsigned short>(absolute, WideLength(absolute)));
    YdrWString dir = parts.dir;
    if ((m_options & YDR_ZIP_FLAT) != 0) {
      dir.clear();
    } else {
      std::size_t skip = 0;
      while (skip < dir.size() && IsSeparator(dir[skip])) ++skip;
      dir.erase(0, skip);
    }
    output.assign(destDir, dest_length);
    if (!IsSeparator(output.back())) output.push_back('\\');
    output += dir + parts.fname + parts.ext;
  }
  if (output.size() > zip::kMaxNameUnits) return zip::kErrorMakeFolders;

  std::fseek(archive, static_cast<long>(member->dataOffset), SEEK_SET);
  if (member->flag == zip::kFlagFolder) {
    return ydr::bl::YdrPathCreate(output.c_str()) != 0 ? 0L : static_cast<long>(zip::kErrorMakeFolders);
  }

  YDRGZ reader = YdrGZOpenRead(ReadFromArchive, archive);
  if (reader == nullptr) return zip::kErrorStartDecompressor;
  if (ydr::bl::YdrPathCreate(output.c_str()) == 0) {
    YdrGZCloseRead(reader);
    return zip::kErrorMakeFolders;
  }
  FILE *out = ydr::bl::_u__wfopen(output.c_str(), kModeWrite);
  if (out == nullptr) {
    YdrGZCloseRead(reader);
    return zip::kErrorCreateOutput;
  }
  char buffer[1024];
  int got;
  while ((got = YdrGZRead(reader, buffer, sizeof buffer)) > 0) std::fwrite(buffer, 1, static_cast<std::size_t>(got), out);
  YdrGZCloseRead(reader);
  std::fclose(out);
  return 0;
}
