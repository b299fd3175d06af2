// What ydr pack, unpack, list and test share: opening an archive, naming members in
// messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/command.h"
#include "zip/archive_index.h"

namespace ydr::tool {

// An archive opened for reading with its member list read, or a message on standard error.
class ArchiveReader {
 public:
  ArchiveReader() = default;
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader &) = delete;
  ArchiveReader &operator=(const ArchiveReader &) = delete;

  bool Open(const std::string &path);
  std::FILE *file() const { return file_; }
  const zip::ArchiveIndex &index() const { return index_; }
  const std::string &name() const { return name_; }
  // Where member `i`'s data lie (cut off, shared with another member, ...).
  zip::DataPlace place(std::size_t i) const { return places_[i]; }
  // How many members have their data cut off, or share them with another member; the
  // first of those that share.
  std::size_t cut_off() const { return cut_off_; }
  std::size_t shared() const { return shared_; }
  std::size_t first_shared() const { return first_shared_; }
  // Whether the header lists members whose records are not in the file (it was cut short
  // inside its record table); said once on standard error by Open.
  bool records_missing() const { return static_cast<std::int64_t>(index_.members.size()) != index_.declared_members; }

 private:
  std::FILE *file_ = nullptr;
  zip::ArchiveIndex index_;
  std::vector<zip::DataPlace> places_;
  std::size_t cut_off_ = 0, shared_ = 0, first_shared_ = 0;
  std::string name_;
};

// A member's path below DEST as one string, '/' between its components (as
// zip::FoldedMemberPath gives them).
std::string JoinedPath(const std::vector<std::string> &components);
// Why a member whose file lands on `path`, where the member `first` has already put one,
// is left out.
std::string SamePathWords(const std::string &path, const zip::MemberRecord &first);

// A stored name as listings and messages show it: either separator as '/', escaped for the
// terminal.
std::string ShownName(const zip::Name &name);
// A member as messages name it: its name as shown, in quotes; a member whose name could not
// be read (its record is damaged, or lies past the end of a cut archive) by its place in
// the archive, "member 3", when `index` gives it.
std::string MemberLabel(const zip::MemberRecord &member, std::size_t index = SIZE_MAX);
// The space that `stored` bytes save over `original` ("88.0%"; negative when they grew).
std::string SavedPercent(std::uint64_t stored, std::uint64_t original);
// "1 member", "2 members": `n` and the word that goes with it (`one` with "s", unless `many`
// says otherwise).
std::string Counted(std::uint64_t n, const char *one, const char *many = nullptr);
// What a member's flag says, for listings.
const char *FlagWords(std::uint8_t flag);

}  // namespace ydr::tool
