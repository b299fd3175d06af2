#include "tools/archive_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/regular_file.h"
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
  const int fd = platform::OpenRegularFile(path, O_RDONLY, 0, &problem);
  if (fd >= 0 && (file_ = fdopen(fd, "rb")) == nullptr) problem.error = errno;
  if (file_ == nullptr) {
    if (fd >= 0) close(fd);
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
  return true;
}

bool CutOff(const zip::ArchiveIndex &index, std::size_t i) {
  const zip::MemberRecord &m = index.members[i];
  return std::find(index.past_end.begin(), index.past_end.end(), i) != index.past_end.end() ||
         (m.flag == zip::kFlagPacked && std::uint64_t{m.data_offset} + m.compressed_length > index.file_size);
}

std::string MemberLabel(const zip::MemberRecord &member) { return Quoted(Printable(member.name)); }

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
