// The archive object: its member and error lists, enumeration, flag changes by pattern,
// and the error mask.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "imports/base_services.h"
#include "platform/path_match.h"
#include "portable/guarded_call.h"
#include "portable/utf16.h"
#include "ydr/zip.h"
#include "zip/archive_format.h"
#include "zip/member_path.h"

namespace {

using ydr::portable::WideLength;

// 8-bit text in the system's code page, as the shell's matcher takes it. The destination
// has (characters + 1) x 4 bytes, the most any code page needs; the base library's result
// is not looked at: what it wrote is the text up to its terminator.
std::string ToAnsi(const unsigned short *text) {
  const std::size_t length = WideLength(text);
  std::string out((length + 1) * 4, '\0');
  ydr::bl::YdrUnicodeToAnsi(0, 0, text, -1, out.data(), static_cast<int>(out.size()), 0);
  out.resize(strnlen(out.c_str(), out.size()));
  return out;
}

}  // namespace

CYdrZIP::CYdrZIP() : options_(0), archive_(nullptr), cursor_(-1) {}

CYdrZIP::CYdrZIP(const CYdrZIP &other) : options_(0), archive_(nullptr), cursor_(-1) { CopyFrom(other); }

CYdrZIP &CYdrZIP::operator=(const CYdrZIP &other) {
  if (this != &other) {
    Clear();
    CopyFrom(other);
  }
  return *this;
}

// A copy that runs out of memory holds the options, the path and the cursor, and empty lists.
void CYdrZIP::CopyFrom(const CYdrZIP &other) {
  options_ = other.options_;
  cursor_ = other.cursor_;
  ydr::portable::GuardedCall([&] {
    archive_path_ = other.archive_path_;
    members_.reserve(other.members_.size());
    errors_.reserve(other.errors_.size());
    for (const tagYdrZipChildFileInfo *member : other.members_) {
      members_.push_back(new tagYdrZipChildFileInfo(*member));
    }
    for (const tagYdrZipErrorList *error : other.errors_) errors_.push_back(new tagYdrZipErrorList(*error));
  });
  if (members_.size() != other.members_.size() || errors_.size() != other.errors_.size()) Clear();
}

CYdrZIP::~CYdrZIP() { Clear(); }

void CYdrZIP::Clear() {
  for (tagYdrZipChildFileInfo *member : members_) delete member;
  std::vector<tagYdrZipChildFileInfo *>().swap(members_);
  for (tagYdrZipErrorList *error : errors_) delete error;
  if (archive_ != nullptr) {
    static_cast<void>(std::fclose(archive_));
    archive_ = nullptr;
  }
  std::vector<tagYdrZipErrorList *>().swap(errors_);
  cursor_ = -1;
}

void CYdrZIP::Close() { Clear(); }

int CYdrZIP::EnumFileName() {
  if (members_.empty()) return 0;
  cursor_ = 0;
  return static_cast<int>(members_.size());
}

int CYdrZIP::GetNextFileName(unsigned short *buffer, unsigned int size) {
  if (cursor_ < 0 || static_cast<std::size_t>(cursor_) >= members_.size()) return -1;
  const YdrWString &name = members_[static_cast<std::size_t>(cursor_)]->name;
  if (buffer == nullptr || name.size() >= size) return -2;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(unsigned short));
  return cursor_++;
}

int CYdrZIP::GetNextFileNameW(unsigned short *buffer, unsigned int size) {
  if (cursor_ < 0 || static_cast<std::size_t>(cursor_) >= members_.size()) return -1;
  const YdrWString &name = members_[static_cast<std::size_t>(cursor_)]->name;
  if (buffer == nullptr || size < 2 * (name.size() + 1)) return -2;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(unsigned short));
  return cursor_++;
}

int CYdrZIP::IsMatchedFile(const unsigned short *pattern, const unsigned short *name) {
  if (pattern == nullptr || name == nullptr) return 0;
  return ydr::portable::GuardedCall(0, [&] {
    // A pattern without a folder matches the file name in any folder.
    const YdrWString effective =
        ydr::zip::PatternForName(YdrWString(pattern, WideLength(pattern)), YdrWString(name, WideLength(name)));
    if (effective.size() > ydr::zip::kMaxNameUnits) return 0;
    return ydr::platform::PathMatchSpecA(ToAnsi(name).c_str(), ToAnsi(effective.c_str()).c_str()) ? 1 : 0;
  });
}

int CYdrZIP::ChangeFileListFlag(const unsigned short *pattern, int flag) {
  if (pattern == nullptr || WideLength(pattern) > ydr::zip::kMaxNameUnits) return 0;
  int changed = 0;
  for (tagYdrZipChildFileInfo *member : members_) {
    if (IsMatchedFile(pattern, member->name.c_str())) {
      member->flag = static_cast<unsigned char>(flag & 0xFF);
      ++changed;
    }
  }
  return changed;
}

int CYdrZIP::RemoveFileList(const unsigned short *pattern) {
  return ChangeFileListFlag(pattern, ydr::zip::kFlagRemoved);
}

void CYdrZIP::_AddError(int code, int index) {
  // Out of memory, the failure goes unrecorded; the call's result still reports it.
  ydr::portable::GuardedCall([&] {
    auto error = std::make_unique<tagYdrZipErrorList>(tagYdrZipErrorList{static_cast<unsigned int>(code), index, {}});
    if (index >= 0 && static_cast<std::size_t>(index) < members_.size()) {
      error->name = members_[static_cast<std::size_t>(index)]->name;
    }
    errors_.push_back(error.release());
  });
}

unsigned int CYdrZIP::GetErrorMask() {
  unsigned int mask = 0;
  for (const tagYdrZipErrorList *error : errors_) mask |= error->code;
  return mask;
}

int CYdrZIP::GetMemberCount() const { return static_cast<int>(members_.size()); }

const tagYdrZipChildFileInfo *CYdrZIP::GetMember(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= members_.size()) return nullptr;
  return members_[static_cast<std::size_t>(index)];
}

int CYdrZIP::GetErrorCount() const { return static_cast<int>(errors_.size()); }

const tagYdrZipErrorList *CYdrZIP::GetError(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= errors_.size()) return nullptr;
  return errors_[static_cast<std::size_t>(index)];
}
