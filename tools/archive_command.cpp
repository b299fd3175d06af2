#include "tools/archive_command.h"

#include <fcntl.h>
#include <unistd.h>

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
  if (zip::ReadIndex(file_, &index_) != zip::IndexStatus::kOk) {
    Complain(kExitFailure, label + " is not an archive");
    return false;
  }
  return true;
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

std::string HumanBytes(std::uint64_t bytes) {
  static const char *const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1000 && unit < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]));
  return text;
}

}  // namespace ydr::tool

namespace ydr::tool {

const char kZipUsage[] =
    "usage: ydr pack ARCHIVE PATH...      pack files and folders (a folder packs its whole tree)\n"
    "       ydr unpack ARCHIVE [DEST] [--flat] [--only PATTERN] [--max-output SIZE]\n"
    "                                     unpack every member, or those matching PATTERN,\n"
    "                                     under DEST (default: the current folder)\n"
    "       ydr list ARCHIVE              index, state, compressed size and name of each member\n"
    "       ydr test ARCHIVE              decompress every member and check its CRC-32 and length\n"
    "\n"
    "Members keep their names as given when packing, and unpack below DEST at those names:\n"
    "a member stored as d2\\f.txt lands at DEST/d2/f.txt. A drive, leading separators and '..'\n"
    "in stored names are folded into DEST: nothing is written outside it, nor through a\n"
    "symbolic link or into anything but a regular file found inside it. Each file is written\n"
    "under a temporary name and put in place only when its data checked out.\n"
    "\n"
    "Packing leaves out pipes, sockets and devices, folders reached again through links, and\n"
    "the archive itself, and says so; names an archive cannot carry back (a backslash, not\n"
    "UTF-8, over 259 units) are left out as failures. An archive holds at most 4 GiB.\n"
    "\n"
    "  --flat              drop the stored folders: every file straight into DEST\n"
    "  --only PATTERN      only members whose whole stored name matches ('*' and '?', letters\n"
    "                      in either case, several patterns separated by ';'); a pattern\n"
    "                      without a backslash also matches members in any folder stored\n"
    "                      with backslashes\n"
    "  --max-output SIZE   fail rather than write more than SIZE bytes (K, M, G: powers of 1024)\n"
    "\n"
    "An archive whose members share or overlap their data is refused before anything is\n"
    "written. Exit status 1 when any member failed; each is named with the reason.\n";

int RunArchive(const std::string &command, const Arguments &args) {
  if (command == "pack") return RunPack(args);
  if (command == "unpack") return RunUnpack(args);
  if (command == "list") return RunList(args);
  return RunTest(args);
}

}  // namespace ydr::tool
