// Building an archive: the caller's paths become members in the order given, folders
// (paths ending in a separator) are walked depth first and their entries appended, the
// header and names are written, each file is compressed as its own stream straight into
// the archive, and the member records, complete only now, are written last at the front.
#include <cstring>
#include <string>

#include "frame/base_services.h"
#include "platform/find_data.h"
#include "platform/utf16.h"
#include "ydr/gz.h"
#include "ydr/zip.h"
#include "zip/archive_format.h"

namespace {

using ydr::platform::WideLength;
namespace zip = ydr::zip;

const unsigned short kModeWrite[] = {'w', 'b', 0};
const unsigned short kModeRead[] = {'r', 'b', 0};
const unsigned short kAllFiles[] = {'*', '.', '*', 0};

bool EndsWithSeparator(const YdrWString &name) { return !name.empty() && (name.back() == '\\' || name.back() == '/'); }

bool IsDotEntry(const unsigned short *name) {
  return (name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0);
}

int WriteToArchive(YDRGZ, void *file, const void *buffer, int count) {
  return static_cast<int>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), static_cast<FILE *>(file)));
}

tagYdrZipChildFileInfo *NewMember(unsigned char flag, YdrWString name) {
  return new tagYdrZipChildFileInfo{flag, 0, 0, 0, std::move(name)};
}

void WriteUnits(const YdrWString &text, FILE *file) {
  std::string bytes;
  bytes.reserve(2 * text.size() + 2);
  for (unsigned short unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bytes.append(2, '\0');
  std::fwrite(bytes.data(), 1, bytes.size(), file);
}

}  // namespace

int CYdrZIP::CompressZIP(const unsigned short **paths, unsigned int count, const unsigned short *archivePath) {
  try {
    if (!m_members.empty()) return 0;
    for (unsigned int i = 0; i < count; ++i) {
      const unsigned short *path = paths != nullptr ? paths[i] : nullptr;
      m_members.push_back(NewMember(zip::kFlagListed, path != nullptr ? YdrWString(path, WideLength(path)) : YdrWString()));
    }
    m_archivePath = archivePath != nullptr ? YdrWString(archivePath, WideLength(archivePath)) : YdrWString();
    return _Compress() == 1 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int CYdrZIP::CompressZIP(std::vector<YdrWString> &paths, const unsigned short *archivePath) {
  std::vector<const unsigned short *> pointers;
  try {
    for (const YdrWString &path : paths) pointers.push_back(path.c_str());
  } catch (...) {
    return 0;
  }
  return CompressZIP(pointers.data(), static_cast<unsigned int>(pointers.size()), archivePath);
}

int CYdrZIP::_Compress() {
  unsigned short absolute[zip::kMaxNameUnits + 1];
  ydr::bl::YdrPathToAbsolute(m_archivePath.c_str(), absolute);
  if (ydr::bl::YdrPathCreate(absolute) == 0) return 0;
  FILE *archive = ydr::bl::_u__wfopen(absolute, kModeWrite);
  if (archive == nullptr) {
    _AddError(zip::kErrorCreateArchive, -1);
    return 0;
  }
  _AddFileFromDir();
  _MakeHeader(archive);
  int result = 1;
  for (std::size_t i = 0; i < m_members.size(); ++i) {
    if (m_members[i]->flag == zip::kFlagFolder) continue;
    if (const int code = _CompressFile(m_members[i], archive); code != 0) {
      result = 0;
      _AddError(code, static_cast<int>(i));
    }
  }
  _RewriteChildFileInfo(archive);
  std::fclose(archive);
  return result;
}

void CYdrZIP::_RemakeFileList() { _AddFileFromDir(); }

void CYdrZIP::_AddFileFromDir() {
  const std::size_t given = m_members.size();  // the walks append their own
  for (std::size_t i = 0; i < given; ++i) {
    // A name too long for a path buffer is never walked (nor packed: see _CompressFile).
    if (!EndsWithSeparator(m_members[i]->name) || m_members[i]->name.size() > zip::kMaxNameUnits) continue;
    const YdrWString folder = m_members[i]->name;
    if (_FindAllFile(folder.c_str()) < 0) _AddError(zip::kErrorSearchFolder, static_cast<int>(i));
    m_members[i]->flag = zip::kFlagFolder;
  }
}

long CYdrZIP::_FindAllFile(const unsigned short *dir) {
  unsigned short absolute[zip::kMaxNameUnits + 1];
  if (ydr::bl::YdrPathToAbsolute(dir, absolute) == 0) return -1;
  YdrWString pattern(absolute, WideLength(absolute));
  pattern += kAllFiles;
  if (pattern.size() > zip::kMaxNameUnits) return -1;
  WIN32_FIND_DATAW data;
  void *search = ydr::bl::YdrFindFirstFileW(pattern.c_str(), &data);
  if (search == ydr::platform::InvalidHandleValue()) return -1;
  const YdrWString prefix(dir, WideLength(dir));
  long count = 0;
  do {
    if (IsDotEntry(data.cFileName)) continue;
    YdrWString path = prefix + YdrWString(data.cFileName, WideLength(data.cFileName));
    const bool is_folder = (data.dwFileAttributes & ydr::platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (is_folder) path.push_back('\\');
    // A path too long for the format is listed as a file, so that packing reports it.
    const bool walkable = is_folder && path.size() <= zip::kMaxNameUnits;
    m_members.push_back(NewMember(walkable ? zip::kFlagFolder : zip::kFlagListed, path));
    ++count;
    if (walkable) {
      const int index = static_cast<int>(m_members.size()) - 1;
      if (_FindAllFile(path.c_str()) < 0) _AddError(zip::kErrorSearchFolder, index);
    }
  } while (ydr::bl::YdrFindNextFileW(search, &data) != 0);
  ydr::platform::FindClose(search);
  return count;
}

long CYdrZIP::_MakeHeader(FILE *archive) {
  std::uint8_t header[zip::kHeaderSize] = {};
  std::memcpy(header, zip::kSignature.bytes, sizeof zip::kSignature.bytes);
  zip::Store32(header + 32, static_cast<std::uint32_t>(m_members.size()));
  header[36] = 1;  // version 1.0
  header[37] = 0;
  std::fseek(archive, 0, SEEK_SET);
  std::fwrite(header, 1, sizeof header, archive);

  std::uint32_t offset = zip::kHeaderSize + zip::kRecordSize * static_cast<std::uint32_t>(m_members.size());
  for (tagYdrZipChildFileInfo *member : m_members) {
    member->nameOffset = offset;
    offset += 2 * (static_cast<std::uint32_t>(member->name.size()) + 1);
  }
  for (const tagYdrZipChildFileInfo *member : m_members) {
    std::fseek(archive, static_cast<long>(member->nameOffset), SEEK_SET);
    WriteUnits(member->name, archive);
  }
  std::fseek(archive, static_cast<long>(offset), SEEK_SET);
  return static_cast<long>(offset);
}

int CYdrZIP::_CompressFile(tagYdrZipChildFileInfo *member, FILE *archive) {
  member->flag = zip::kFlagNotPacked;
  member->compressedLength = 0;
  if (member->name.empty() || member->name.size() > zip::kMaxNameUnits) return zip::kErrorOpenSource;
  unsigned short absolute[zip::kMaxNameUnits + 1];
  ydr::bl::YdrPathToAbsolute(member->name.c_str(), absolute);
  FILE *source = ydr::bl::_u__wfopen(absolute, kModeRead);
  if (source == nullptr) return zip::kErrorOpenSource;
  YDRGZ stream = YdrGZOpenWrite(WriteToArchive, archive);
  if (stream == nullptr) {
    std::fclose(source);
    return zip::kErrorStartCompressor;
  }
  const long start = std::ftell(archive);
  char buffer[1024];
  std::size_t got;
  do {
    got = std::fread(buffer, 1, sizeof buffer, source);
    YdrGZWrite(stream, buffer, static_cast<int>(got));
  } while (got > 0);
  YdrGZCloseWrite(stream);
  const long end = std::ftell(archive);
  std::fclose(source);
  member->compressedLength = static_cast<unsigned int>(end - start);
  member->dataOffset = static_cast<unsigned int>(start);
  member->flag = zip::kFlagPacked;
  return 0;
}

int CYdrZIP::_RewriteChildFileInfo(FILE *archive) {
  std::fseek(archive, zip::kHeaderSize, SEEK_SET);
  for (const tagYdrZipChildFileInfo *member : m_members) {
    const bool packed = member->flag == zip::kFlagPacked;
    zip::FileRecord record{member->flag, packed ? member->dataOffset : 0, packed ? member->compressedLength : 0,
                           member->nameOffset,
                           static_cast<std::int16_t>(member->name.size() > 0x7FFF ? 0x7FFF : member->name.size())};
    std::uint8_t bytes[zip::kRecordSize];
    record.Encode(bytes);
    std::fwrite(bytes, 1, sizeof bytes, archive);
  }
  return 1;
}
