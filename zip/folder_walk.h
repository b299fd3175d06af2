// Walking folders into members: the one walk that CYdrZIP::CompressZIP and `ydr pack` share.
//
// A folder member's name ends in a separator. Each entry found in the folder becomes a
// member named the folder's name followed by the entry's own name; a folder found that way
// gets a backslash and is walked at once, so everything below a folder follows its record
// directly (depth first, in the order the folder lists its entries). The folder's name is
// kept exactly as the caller gave it: a caller that writes it with '/' gets names holding
// both separators, one that writes '\' (the format's separator) gets '\' throughout.
//
// Two rules hold for every walk and keep it finite and the archive sound: a folder already
// walked (reached again through a link) is not walked again, and the archive being written
// is never one of its own members. A folder whose name would pass the 259 units of a path
// buffer is not walked but listed as a file, so that packing it fails and says so. How a
// folder is listed, and what else is left out and how that is told, are the caller's: a
// WalkPolicy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "zip/archive_format.h"

namespace ydr::zip {

// One entry of a folder, as the policy lists it.
struct WalkEntry {
  enum class Kind {
    kFile,    // a regular file (or whatever the lister cannot tell from one)
    kFolder,  // a folder: walked when it becomes a member
    kOther,   // a pipe, socket or device
    kMissing  // listed, but it cannot be examined (a dangling link, gone since): see `error`
  };
  Name name;  // the entry's own name; "." and ".." are passed over
  Kind kind = Kind::kFile;
  std::uint64_t size = 0;
  std::optional<platform::FileIdentity> identity;  // none: the walk's rules cannot apply
  std::string source;                              // where the policy finds the entry
  int error = 0;                                   // errno, for kMissing
};

// Why the walk itself left an entry out.
enum class WalkRule {
  kFolderWalked,  // a folder walked before, reached again through a link
  kArchive,       // the archive being written
};

class WalkPolicy {
 public:
  virtual ~WalkPolicy() = default;
  // The entries of `folder`, the member called `name`, in the order they become members.
  // False when the folder cannot be searched.
  virtual bool List(const Name &name, const WalkEntry &folder, std::vector<WalkEntry> *entries) = 0;
  // Whether `entry` becomes the member called `name`; asked only of entries the walk's own
  // rules keep. A policy that refuses says why itself.
  virtual bool Admit(const Name &name, const WalkEntry &entry) = 0;
  // An entry that the walk's rules left out.
  virtual void LeftOut(const Name &name, const WalkEntry &entry, WalkRule rule) = 0;
  // Appends a member with `flag`: kFlagFolder for a folder about to be walked, kFlagListed
  // for anything to pack. Returns the member's index.
  virtual std::size_t Append(const Name &name, const WalkEntry &entry, std::uint8_t flag) = 0;
  // The folder appended as member `index` could not be searched (List said false).
  virtual void SearchFailed(std::size_t index) = 0;
};

class FolderWalk {
 public:
  // `archive`: the identities of the archive being written (and of one it replaces). One
  // walk serves a whole build, so that a folder is walked once whichever path reaches it.
  explicit FolderWalk(std::vector<platform::FileIdentity> archive = {}) : archive_(std::move(archive)) {}

  // Appends, through `policy`, a member for everything below `folder`, the member called
  // `name` (which ends in a separator). Returns the number of members appended for the
  // folder's own entries (not those below them), or -1 when the folder cannot be searched.
  long Walk(WalkPolicy &policy, const Name &name, const WalkEntry &folder);

 private:
  bool IsArchive(const platform::FileIdentity &id) const;

  std::vector<platform::FileIdentity> archive_;
  std::set<platform::FileIdentity> walked_;
};

}  // namespace ydr::zip
