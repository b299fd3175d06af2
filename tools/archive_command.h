// What ydr pack, unpack, list and test share: opening an archive, naming members in
// messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

 private:
  std::FILE *file_ = nullptr;
  zip::ArchiveIndex index_;
  std::string name_;
};

// Whether member `i` has its data missing because the archive was cut short.
bool CutOff(const zip::ArchiveIndex &index, std::size_t i);

// A stored name as listings and messages show it: either separator as '/', escaped for the
// terminal.
std::string ShownName(const zip::Name &name);
// A member as messages name it: its name as shown, in quotes.
std::string MemberLabel(const zip::MemberRecord &member);
// The space that `stored` bytes save over `original` ("88.0%"; negative when they grew).
std::string SavedPercent(std::uint64_t stored, std::uint64_t original);
// "1 member", "2 members": `n` and the word that goes with it.
std::string Counted(long long n, const char *one, const char *many = nullptr);
// What a member's flag says, for listings.
const char *FlagWords(std::uint8_t flag);

}  // namespace ydr::tool
