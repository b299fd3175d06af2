#include "tools/archive_command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "tools/file_io.h"
#include "tools/text_output.h"
#include "zip/archive_format.h"

namespace ydr::tool {

ArchiveReader::~ArchiveReader() {
  if (file_ != nullptr) static_cast<void>(std::fclose(file_));  // read only
}

bool ArchiveReader::Open(const std::string &path) {
  name_ = path;
  const std::string label = Quoted(Printable(path));
  // An archive must be a regular file, since it is read by offset; never waits on a pipe.
  platform::OpenProblem problem;
  file_ = platform::OpenRegularStream(path, {}, &problem);
  if (file_ == nullptr) {
    Complain(kExitFailure, "cannot open " + label + ": " + problem.Describe());
    return false;
  }
  switch (zip::ReadIndex(file_, &index_)) {
    case zip::IndexStatus::kOk: break;
    case zip::IndexStatus::kNotAnArchive: Complain(kExitFailure, label + " is not an archive"); return false;
    case zip::IndexStatus::kReadFailed:
      Complain(kExitFailure, "cannot read " + label + ": " + std::strerror(errno));
      return false;
  }
  if (records_missing()) {
    Complain(kExitFailure, label + " is cut short: its header lists " + std::to_string(index_.declared_members) +
                               " members, the records of " + std::to_string(index_.members.size()) +
                               " are in the file");
  }
  places_ = zip::PlaceData(index_);
  for (std::size_t i = places_.size(); i-- > 0;) {
    if (places_[i] == zip::DataPlace::kCutOff) ++cut_off_;
    if (places_[i] == zip::DataPlace::kShared) {
      ++shared_;
      first_shared_ = i;
    }
  }
  return true;
}

std::string JoinedPath(const std::vector<std::string> &components) {
  std::string path;
  for (const std::string &c : components) path += (path.empty() ? "" : "/") + c;
  return path;
}

std::string SamePathWords(const std::string &path, const zip::MemberRecord &first) {
  return "lands on the same file, " + Quoted(Printable(path)) + ", as " + MemberLabel(first) + " (the first is kept)";
}

std::string ShownName(const zip::Name &name) {
  zip::Name shown = name;
  std::replace(shown.begin(), shown.end(), static_cast<unsigned short>('\\'), static_cast<unsigned short>('/'));
  return Printable(shown);
}

std::string MemberLabel(const zip::MemberRecord &member, std::size_t index) {
  if (member.name.empty() && index != SIZE_MAX) return "member " + std::to_string(index);
  return Quoted(ShownName(member.name));
}

std::string SavedPercent(std::uint64_t stored, std::uint64_t original) {
  const double saved =
      original == 0 ? 0.0 : 100.0 * (1.0 - static_cast<double>(stored) / static_cast<double>(original));
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, "%.1f%%", saved));
  return text;
}

std::string Counted(std::uint64_t n, const char *one, const char *many) {
  const std::string word = n == 1 ? one : many != nullptr ? many : std::string(one) + "s";
  return std::to_string(n) + " " + word;
}

const char *FlagWords(std::uint8_t flag) {
  switch (flag) {
    case zip::kFlagPacked: return "packed";
    case zip::kFlagNotPacked: return "not-packed";
    case zip::kFlagFolder: return "folder";
    case zip::kFlagRemoved: return "removed";
    default: return "invalid";
  }
}

}  // namespace ydr::tool
