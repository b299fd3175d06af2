// CYdrZIP building an archive: the caller's paths become members in the order given, folders
// (paths ending in a separator) are walked depth first and their entries appended, the
// header and names are written, each file is compressed as its own stream straight into the
// archive, and the member records, complete only now, are written last at the front.
//
// Three rules keep a walk finite and the archive sound on a POSIX file system: the archive
// being written is never one of its own members (it would grow while it is read); a folder
// reached again through another link is left out, so links cannot fan a tree out without
// end (these two are the folder walk's, zip/folder_walk.h, which `ydr pack` shares); and a
// member whose stream would reach past 2^32 bytes, where the format's 32-bit
// offsets end, is not packed (its bytes are taken back; it fails like an unreadable source).

#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "imports/base_services.h"
#include "platform/files.h"
#include "platform/find_data.h"
#include "portable/guarded_call.h"
#include "portable/utf16.h"
#include "ydr/gz.h"
#include "ydr/zip.h"
#include "zip/absolute_path.h"
#include "zip/archive_format.h"
#include "zip/archive_layout.h"
#include "zip/folder_walk.h"
#include "zip/member_stream.h"

namespace {

using ydr::platform::FileIdentity;
using ydr::portable::WideLength;
namespace zip = ydr::zip;

const unsigned short kModeWrite[] = {'w', 'b', 0};
const unsigned short kModeRead[] = {'r', 'b', 0};
const unsigned short kAllFiles[] = {'*', '.', '*', 0};

// What one build knows while it walks: the walk itself, which holds the archive's identity
// and the folders walked. The walk's methods have fixed signatures, so the build hands this
// over per thread.
struct BuildContext {
  zip::FolderWalk *walk = nullptr;
};
thread_local BuildContext *t_build = nullptr;

class ScopedBuild {
 public:
  explicit ScopedBuild(BuildContext *context) : previous_(t_build) { t_build = context; }
  ~ScopedBuild() { t_build = previous_; }
  ScopedBuild(const ScopedBuild &) = delete;
  ScopedBuild &operator=(const ScopedBuild &) = delete;

 private:
  BuildContext *previous_;
};

std::optional<FileIdentity> IdentityOf(const YdrWString &path) {
  zip::PathBuffer absolute;
  if (path.size() > zip::kMaxNameUnits || zip::AbsolutePath(path.c_str(), absolute) == 0) return std::nullopt;
  return ydr::platform::IdentityOfPath(ydr::platform::NativePathFromWide(absolute));
}

bool EndsWithSeparator(const YdrWString &name) { return !name.empty() && (name.back() == '\\' || name.back() == '/'); }

// Appends a new member record to the object's list, which owns it; when the list cannot
// grow, the record is not lost.
void AppendMember(std::vector<tagYdrZipChildFileInfo *> *members, unsigned char flag, YdrWString name) {
  auto member = std::make_unique<tagYdrZipChildFileInfo>(tagYdrZipChildFileInfo{flag, 0, 0, 0, std::move(name)});
  members->push_back(member.get());
  static_cast<void>(member.release());  // the list owns it now
}

std::vector<zip::MemberRecord> Records(const std::vector<tagYdrZipChildFileInfo *> &members) {
  std::vector<zip::MemberRecord> records;
  records.reserve(members.size());
  for (const tagYdrZipChildFileInfo *m : members) {
    records.push_back({m->flag, m->dataOffset, m->compressedLength, m->nameOffset, m->name});
  }
  return records;
}

}  // namespace

int CYdrZIP::CompressZIP(const unsigned short **paths, unsigned int count, const unsigned short *archivePath) {
  return ydr::portable::GuardedCall(0, [&] {
    if (!members_.empty()) return 0;
    for (unsigned int i = 0; i < count; ++i) {
      const unsigned short *path = paths != nullptr ? paths[i] : nullptr;
      AppendMember(&members_, zip::kFlagListed, path != nullptr ? YdrWString(path, WideLength(path)) : YdrWString());
    }
    archive_path_ = archivePath != nullptr ? YdrWString(archivePath, WideLength(archivePath)) : YdrWString();
    return _Compress() == 1 ? 1 : 0;
  });
}

int CYdrZIP::CompressZIP(std::vector<YdrWString> &paths, const unsigned short *archivePath) {
  return ydr::portable::GuardedCall(0, [&] {
    std::vector<const unsigned short *> pointers;
    pointers.reserve(paths.size());
    for (const YdrWString &path : paths) pointers.push_back(path.c_str());
    return CompressZIP(pointers.data(), static_cast<unsigned int>(pointers.size()), archivePath);
  });
}

int CYdrZIP::_Compress() {
  zip::PathBuffer absolute;
  zip::AbsolutePath(archive_path_.c_str(), absolute);
  if (ydr::bl::YdrPathCreate(absolute) == 0) return 0;
  // Closed however the build ends: an allocation failing in the walk throws out of here.
  const std::unique_ptr<FILE, int (*)(FILE *)> archive_file(ydr::bl::_u__wfopen(absolute, kModeWrite), std::fclose);
  FILE *archive = archive_file.get();
  if (archive == nullptr) {
    _AddError(zip::kErrorCreateArchive, -1);
    return 0;
  }
  std::vector<FileIdentity> archive_identity;
  if (const auto identity = ydr::platform::IdentityOfStream(archive)) archive_identity.push_back(*identity);
  zip::FolderWalk walk(std::move(archive_identity));
  BuildContext context{&walk};
  const ScopedBuild build(&context);
  _AddFileFromDir();
  _MakeHeader(archive);
  int result = 1;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (members_[i]->flag == zip::kFlagFolder) continue;
    if (const int code = _CompressFile(members_[i], archive); code != 0) {
      result = 0;
      _AddError(code, static_cast<int>(i));
    }
  }
  // A member taken back at the 4 GiB limit may have left bytes past the last stream.
  const std::int64_t data_end = ydr::platform::StreamPosition(archive);
  _RewriteChildFileInfo(archive);
  if (data_end > 0) static_cast<void>(ydr::platform::TruncateStream(archive, static_cast<std::uint64_t>(data_end)));
  return result;
}

void CYdrZIP::_RemakeFileList() { _AddFileFromDir(); }

void CYdrZIP::_AddFileFromDir() {
  const std::size_t given = members_.size();  // the walks append their own
  for (std::size_t i = 0; i < given; ++i) {
    // A name too long for a path buffer is never walked (nor packed: see _CompressFile).
    if (!EndsWithSeparator(members_[i]->name) || members_[i]->name.size() > zip::kMaxNameUnits) continue;
    const YdrWString folder = members_[i]->name;
    if (_FindAllFile(folder.c_str()) < 0) _AddError(zip::kErrorSearchFolder, static_cast<int>(i));
    members_[i]->flag = zip::kFlagFolder;
  }
}

long CYdrZIP::_FindAllFile(const unsigned short *dir) {
  // The members are this object's, so the policy is a class of this method's own.
  class LibraryPolicy final : public zip::WalkPolicy {
   public:
    LibraryPolicy(CYdrZIP *zip, bool identify) : zip_(zip), identify_(identify) {}

    bool List(const YdrWString &name, const zip::WalkEntry &, std::vector<zip::WalkEntry> *entries) override {
      zip::PathBuffer absolute;
      if (name.size() > zip::kMaxNameUnits || zip::AbsolutePath(name.c_str(), absolute) == 0) return false;
      YdrWString pattern(absolute, WideLength(absolute));
      pattern += kAllFiles;
      if (pattern.size() > zip::kMaxNameUnits) return false;
      YDR_FIND_DATAW data;
      void *search = ydr::bl::YdrFindFirstFileW(pattern.c_str(), &data);
      if (search == ydr::platform::InvalidHandleValue()) return false;
      // Closed however the listing ends (an entry's allocation may throw).
      const std::unique_ptr<void, int (*)(void *)> open_search(search, ydr::bl::FindClose);
      do {
        zip::WalkEntry entry;
        entry.name.assign(data.cFileName, WideLength(data.cFileName));
        const bool is_folder = (data.dwFileAttributes & ydr::platform::kFileAttributeDirectory) != 0;
        entry.kind = is_folder ? zip::WalkEntry::Kind::kFolder : zip::WalkEntry::Kind::kFile;
        entry.size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
        if (identify_) entry.identity = IdentityOf(name + entry.name);
        entries->push_back(std::move(entry));
      } while (ydr::bl::YdrFindNextFileW(search, &data) != 0);
      return true;
    }
    bool Admit(const YdrWString &, const zip::WalkEntry &) override { return true; }
    void LeftOut(const YdrWString &, const zip::WalkEntry &, zip::WalkRule) override {}
    std::size_t Append(const YdrWString &name, const zip::WalkEntry &, std::uint8_t flag) override {
      AppendMember(&zip_->members_, flag, name);
      return zip_->members_.size() - 1;
    }
    void SearchFailed(std::size_t index) override { zip_->_AddError(zip::kErrorSearchFolder, static_cast<int>(index)); }

   private:
    CYdrZIP *zip_;
    bool identify_;
  };

  // Outside a build (a host's own _RemakeFileList) there is no archive to keep out.
  zip::FolderWalk unbuilt;
  zip::FolderWalk &walk = t_build != nullptr ? *t_build->walk : unbuilt;
  LibraryPolicy policy(this, t_build != nullptr);
  const YdrWString name(dir, WideLength(dir));
  zip::WalkEntry folder;
  folder.kind = zip::WalkEntry::Kind::kFolder;
  if (t_build != nullptr) folder.identity = IdentityOf(name);
  return walk.Walk(policy, name, folder);
}

long CYdrZIP::_MakeHeader(FILE *archive) {
  std::vector<zip::MemberRecord> records = Records(members_);
  std::uint32_t data_start = 0;
  // Write failures are not this step's to report: a host learns of a failed build from the
  // archive it cannot read.
  [[maybe_unused]] const bool written = zip::WriteHeaderAndNames(archive, &records, &data_start);
  for (std::size_t i = 0; i < members_.size(); ++i) members_[i]->nameOffset = records[i].name_offset;
  return static_cast<long>(data_start);
}

int CYdrZIP::_CompressFile(tagYdrZipChildFileInfo *member, FILE *archive) {
  member->flag = zip::kFlagNotPacked;
  member->compressedLength = 0;
  if (member->name.empty() || member->name.size() > zip::kMaxNameUnits) return zip::kErrorOpenSource;
  zip::PathBuffer absolute;
  zip::AbsolutePath(member->name.c_str(), absolute);
  if (!zip::NamesRegularFile(absolute)) return zip::kErrorOpenSource;
  const std::unique_ptr<FILE, int (*)(FILE *)> source_file(ydr::bl::_u__wfopen(absolute, kModeRead), std::fclose);
  FILE *source = source_file.get();
  if (source == nullptr) return zip::kErrorOpenSource;
  // The archive itself, named directly or through a link, is never packed into itself.
  const auto source_identity = ydr::platform::IdentityOfStream(source);
  if (source_identity && source_identity == ydr::platform::IdentityOfStream(archive)) return zip::kErrorOpenSource;
  zip::PackedMember packed;
  const zip::PackStatus status = zip::PackStream(archive, source, &packed);
  switch (status) {
    case zip::PackStatus::kNoCompressor: return zip::kErrorStartCompressor;
    case zip::PackStatus::kTooLarge: return zip::kErrorOpenSource;
    case zip::PackStatus::kOk:
    case zip::PackStatus::kReadFailed:   // the member ends where reading failed
    case zip::PackStatus::kWriteFailed:  // not reported: the host finds a damaged archive
      break;
  }
  member->compressedLength = packed.compressed_length;
  member->dataOffset = packed.data_offset;
  member->flag = zip::kFlagPacked;
  return 0;
}

int CYdrZIP::_RewriteChildFileInfo(FILE *archive) {
  [[maybe_unused]] const bool written = zip::WriteRecords(archive, Records(members_));
  return 1;
}
