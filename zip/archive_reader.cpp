// CYdrZIP reading an archive and unpacking its members, over the archive core.
//
// An output path is the destination followed by the member's stored name in absolute form
// (".." and "." folded, never above the root), without its drive and its leading
// separators. So whatever the stored name says, the output lies under the destination; and
// since the folders and the file are made and opened relative to the destination's
// descriptor, never through a symbolic link or into anything but a regular file, and each
// file is written under a new name and moved into place, nothing already inside it (a
// planted link, hard link or pipe) can send a write elsewhere or block it. An existing file
// at a member's path is replaced, as hosts expect.
// Without a destination, members go to the absolute form of their names, as the host asks;
// there too each file is written under a new name in its folder and moved into place.

#include <cstring>
#include <memory>
#include <string>

#include "imports/base_services.h"
#include "platform/destination_folder.h"
#include "platform/files.h"
#include "portable/guarded_call.h"
#include "portable/split_path.h"
#include "portable/utf16.h"
#include "ydr/zip.h"
#include "zip/absolute_path.h"
#include "zip/archive_format.h"
#include "zip/archive_index.h"
#include "zip/member_stream.h"

namespace {

using ydr::portable::WideLength;
namespace zip = ydr::zip;

const unsigned short kModeRead[] = {'r', 'b', 0};

bool IsSeparator(unsigned short c) { return c == '\\' || c == '/'; }

// Writes the member's stream into `out`. The stream's own verdict is not the member's: a
// damaged stream still counts as unpacked, with what could be decoded. (Nor does a failed
// write or close change the documented result; hosts that need more use the archive core,
// as the command does.)
long UnpackInto(FILE *archive, const tagYdrZipChildFileInfo &member, FILE *out) {
  const zip::StreamStatus status =
      zip::UnpackStream(archive, {member.dataOffset, UINT64_MAX}, false,
                        [out](const void *data, std::size_t size) { return std::fwrite(data, 1, size, out) == size; });
  return status == zip::StreamStatus::kNoDecompressor ? static_cast<long>(zip::kErrorStartDecompressor) : 0L;
}

// Writes the member's file as `file_name` in `folder`: a new file beside the name, moved onto
// it when written. An existing file there is replaced as a name, never written through (a
// hard link planted there would otherwise carry the member's bytes into a file elsewhere).
long WriteFileIn(FILE *archive, const tagYdrZipChildFileInfo &member, int folder, const std::string &file_name) {
  using Folder = ydr::platform::DestinationFolder;
  ydr::platform::FolderProblem problem;
  std::string temporary;
  const int fd = Folder::CreateTemporary(folder, file_name, &temporary, &problem);
  if (fd < 0) return zip::kErrorCreateOutput;
  FILE *out = ydr::platform::StreamFromDescriptor(fd, "wb");
  if (out == nullptr) {
    Folder::RemoveTemporary(folder, temporary);
    return zip::kErrorCreateOutput;
  }
  long code = UnpackInto(archive, member, out);
  static_cast<void>(std::fclose(out));  // as UnpackInto says, the documented result stands
  if (code == 0 && !Folder::Commit(folder, temporary, file_name, {Folder::Replacing::kAnyRegularFile, {}}, &problem)) {
    code = zip::kErrorCreateOutput;
  }
  if (code != 0) Folder::RemoveTemporary(folder, temporary);
  return code;
}

// The member below a destination: its folders made and its file written there, safely.
long UnpackBelow(FILE *archive, const tagYdrZipChildFileInfo &member, const YdrWString &dest,
                 const YdrWString &relative) {
  ydr::platform::FolderProblem problem;
  ydr::platform::DestinationFolder folder;
  if (!folder.Open(ydr::platform::NativePathFromWide(dest.c_str()), true, &problem)) return zip::kErrorMakeFolders;
  std::vector<std::string> components = ydr::platform::PathComponents(ydr::portable::Utf8FromWide(relative));
  const bool is_folder = member.flag == zip::kFlagFolder;
  std::string file_name;
  if (!is_folder) {
    if (components.empty()) return zip::kErrorCreateOutput;
    file_name = components.back();
    components.pop_back();
  }
  const int parent = folder.OpenFolder(components, &problem);
  if (parent < 0) return zip::kErrorMakeFolders;
  if (is_folder) {
    ydr::platform::DestinationFolder::CloseFolder(parent);
    return 0;
  }
  const long code = WriteFileIn(archive, member, parent, file_name);
  ydr::platform::DestinationFolder::CloseFolder(parent);
  return code;
}

// The member at an absolute output path, its folders made already.
long UnpackAt(FILE *archive, const tagYdrZipChildFileInfo &member, const YdrWString &output) {
  const std::string native = ydr::platform::NativePathFromWide(output.c_str());
  const std::size_t cut = native.find_last_of("/\\");
  if (cut == std::string::npos || cut + 1 == native.size()) return zip::kErrorCreateOutput;
  ydr::platform::FolderProblem problem;
  ydr::platform::DestinationFolder folder;
  if (!folder.Open(native.substr(0, cut + 1), false, &problem)) return zip::kErrorCreateOutput;
  return WriteFileIn(archive, member, folder.descriptor(), native.substr(cut + 1));
}

}  // namespace

long CYdrZIP::_ReadHeader(FILE *archive) {
  zip::ArchiveIndex index;
  if (zip::ReadIndex(archive, &index) != zip::IndexStatus::kOk) {
    _AddError(zip::kErrorSignature, -1);
    return -1;
  }
  members_.reserve(members_.size() + index.members.size());
  for (zip::MemberRecord &record : index.members) {
    members_.push_back(new tagYdrZipChildFileInfo{record.flag, record.compressed_length, record.data_offset,
                                                  record.name_offset, std::move(record.name)});
  }
  return static_cast<long>(index.names_end);
}

int CYdrZIP::Open(const unsigned short *archivePath) {
  return ydr::portable::GuardedCall(0, [&] {
    if (!members_.empty()) return 0;
    if (archive_ != nullptr) {  // kept from an earlier Open whose archive was not one
      static_cast<void>(std::fclose(archive_));
      archive_ = nullptr;
    }
    zip::PathBuffer absolute;
    zip::AbsolutePath(archivePath, absolute);
    archive_ = zip::NamesRegularFile(absolute) ? ydr::bl::_u__wfopen(absolute, kModeRead) : nullptr;
    if (archive_ == nullptr) {
      _AddError(zip::kErrorOpenArchive, -1);
      return 0;
    }
    return _ReadHeader(archive_) >= 0 ? 1 : 0;
  });
}

int CYdrZIP::DecompressZIP(const unsigned short *archivePath, const unsigned short *destDir, unsigned int options) {
  return ydr::portable::GuardedCall(0, [&] {
    options_ = options;
    if (!members_.empty()) return 0;
    zip::PathBuffer absolute;
    zip::AbsolutePath(archivePath, absolute);
    // Closed on every way out, a refused allocation's exception included: a host that runs
    // short of memory must not also lose a descriptor per call.
    const std::unique_ptr<FILE, int (*)(FILE *)> archive(
        zip::NamesRegularFile(absolute) ? ydr::bl::_u__wfopen(absolute, kModeRead) : nullptr, std::fclose);
    if (archive == nullptr) {
      _AddError(zip::kErrorOpenArchive, -1);
      return 0;
    }
    return _ReadHeader(archive.get()) >= 0 ? _Decompress(archive.get(), destDir) : 0;
  });
}

int CYdrZIP::ExtractFileList(const unsigned short *destDir, unsigned int options) {
  options_ = options;
  if (archive_ == nullptr) return 0;
  return ydr::portable::GuardedCall(0, [&] { return _Decompress(archive_, destDir); });
}

int CYdrZIP::ExtractFile(const unsigned short *pattern, const unsigned short *destDir, unsigned int options) {
  options_ = options;
  if (archive_ == nullptr || pattern == nullptr || WideLength(pattern) > zip::kMaxNameUnits) return 0;
  return ydr::portable::GuardedCall(0, [&] {
    int count = 0;
    for (tagYdrZipChildFileInfo *member : members_) {
      if (IsMatchedFile(pattern, member->name.c_str()) && _DecompressFile(member, archive_, destDir) == 0) ++count;
    }
    return count;
  });
}

int CYdrZIP::ExtractFileByIndex(int index, const unsigned short *destDir, unsigned int options) {
  options_ = options;
  if (index < 0 || static_cast<std::size_t>(index) >= members_.size() || archive_ == nullptr) return 0;
  return ydr::portable::GuardedCall(
      0, [&] { return _DecompressFile(members_[static_cast<std::size_t>(index)], archive_, destDir) == 0 ? 1 : 0; });
}

int CYdrZIP::_Decompress(FILE *archive, const unsigned short *destDir) {
  int result = 1;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (const long code = _DecompressFile(members_[i], archive, destDir); code != 0) {
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

  zip::PathBuffer absolute;
  if (zip::AbsolutePath(member->name.c_str(), absolute) == 0) return zip::kErrorMakeFolders;
  const std::size_t dest_length = WideLength(destDir);
  if (dest_length == 0) {
    const YdrWString output(absolute, WideLength(absolute));
    if (member->flag == zip::kFlagFolder) {
      return ydr::bl::YdrPathCreate(output.c_str()) != 0 ? 0L : static_cast<long>(zip::kErrorMakeFolders);
    }
    if (ydr::bl::YdrPathCreate(output.c_str()) == 0) return zip::kErrorMakeFolders;
    return UnpackAt(archive, *member, output);
  }

  const auto parts = ydr::portable::SplitPath(std::basic_string_view<unsigned short>(absolute, WideLength(absolute)));
  YdrWString dir = parts.dir;
  if ((options_ & YDR_ZIP_FLAT) != 0) {
    dir.clear();
  } else {
    std::size_t skip = 0;
    while (skip < dir.size() && IsSeparator(dir[skip])) ++skip;
    dir.erase(0, skip);
  }
  const YdrWString relative = dir + parts.fname + parts.ext;
  const YdrWString dest(destDir, dest_length);
  // The output path must fit a path buffer: the destination, one separator, the rest.
  if (dest.size() + (IsSeparator(dest.back()) ? 0 : 1) + relative.size() > zip::kMaxNameUnits) {
    return zip::kErrorMakeFolders;
  }
  return UnpackBelow(archive, *member, dest, relative);
}
