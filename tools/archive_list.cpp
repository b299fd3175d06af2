// ydr list: what an archive holds, with the sizes its streams' trailers give.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "portable/byte_order.h"
#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/member_stream.h"

namespace ydr::tool {
namespace {

// The original size of a packed member, from its stream's trailer (modulo 4 GiB, as stored).
// False when the member has no trailer to read; *read_failed also when the system failed the
// read (errno says why), which the listing must not pass over as a member without sizes.
bool OriginalSize(std::FILE *archive, const zip::MemberRecord &m, std::uint64_t *size, bool *read_failed) {
  *read_failed = false;
  if (m.compressed_length < 8) return false;
  std::uint8_t length[4];
  if (!platform::SeekStream(archive, m.data_offset + m.compressed_length - 4) ||
      std::fread(length, 1, 4, archive) != 4) {
    *read_failed = std::ferror(archive) != 0;
    std::clearerr(archive);
    return false;
  }
  *size = portable::LoadLittleEndian32(length);
  return true;
}

// The space saved, right-aligned in its column.
// The saving in its six-character column. A tiny member can grow many times over: a saving
// below -999.9% shows as "<-999%" rather than push the names out of line.
std::string Percent(std::uint64_t stored, std::uint64_t original) {
  std::string saved = SavedPercent(stored, original);
  if (saved.size() > 6) saved = "<-999%";
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, "%6s", saved.c_str()));
  return text;
}

// A member's state for the verbose listing: its flag, or what is wrong with its data.
const char *StateWords(zip::DataPlace place, std::uint8_t flag) {
  if (place == zip::DataPlace::kCutOff) return "cut-off";
  if (place == zip::DataPlace::kShared) return "shared";
  return FlagWords(flag);
}

int RunList(const ParsedOptions &options) {
  if (options.operands().size() != 1) return Complain(kExitUsage, "list needs ARCHIVE");
  const bool verbose = options.Has("verbose"), quiet = options.Has("quiet");
  ArchiveReader archive;
  if (!archive.Open(options.operands()[0])) return kExitFailure;
  const auto &index = archive.index();
  bool written = true;
  const auto row = [&](const std::string &line) { written = PrintLine(line) && written; };
  // Every row puts its columns, and so the name, at the same places as the header does.
  const std::string index_header = verbose ? "Index  State       " : "";
  const std::string index_rule = verbose ? "-----  ----------  " : "";
  if (!quiet) {
    row(index_header + "  Original      Stored   Saved  Name");
    row(index_rule + "----------  ----------  ------  ----");
  }
  std::uint64_t total_original = 0, total_stored = 0;
  std::size_t files = 0, folders = 0;
  std::string read_error;  // the first failed read, said once after the listing
  for (std::size_t i = 0; i < index.members.size(); ++i) {
    const zip::MemberRecord &m = index.members[i];
    char line[160];
    std::string sizes;
    std::uint64_t original = 0;
    bool read_failed = false;
    const bool sized = m.flag == zip::kFlagPacked && archive.place(i) != zip::DataPlace::kCutOff &&
                       OriginalSize(archive.file(), m, &original, &read_failed);
    if (read_failed && read_error.empty()) read_error = std::strerror(errno);
    if (sized) {
      static_cast<void>(std::snprintf(line, sizeof line, "%10llu  %10u  %s", static_cast<unsigned long long>(original),
                                      m.compressed_length, Percent(m.compressed_length, original).c_str()));
      sizes = line;
      total_original += original;
      total_stored += m.compressed_length;
      ++files;
    } else {
      sizes = "         -           -       -";
      folders += m.flag == zip::kFlagFolder;
    }
    std::string prefix;
    if (verbose) {
      static_cast<void>(std::snprintf(line, sizeof line, "%5zu  %-10s  ", i, StateWords(archive.place(i), m.flag)));
      prefix = line;
    }
    std::string note;
    if (!verbose && m.flag != zip::kFlagPacked && m.flag != zip::kFlagFolder)
      note = std::string("  (") + FlagWords(m.flag) + ")";
    row(prefix + sizes + "  " + ShownName(m.name) + note);
  }
  if (!quiet) {
    row(index_rule + "----------  ----------  ------");
    char line[160];
    static_cast<void>(
        std::snprintf(line, sizeof line, "%s%10llu  %10llu  %s  %s, %s", std::string(index_header.size(), ' ').c_str(),
                      static_cast<unsigned long long>(total_original), static_cast<unsigned long long>(total_stored),
                      Percent(total_stored, total_original).c_str(), Counted(files, "file").c_str(),
                      Counted(folders, "folder").c_str()));
    row(line);
  }
  if (!written || !FlushOutput()) return Complain(kExitFailure, "cannot write the listing to standard output");
  if (!read_error.empty()) {
    return Complain(kExitFailure, "cannot read " + Quoted(Printable(archive.name())) + ": " + read_error +
                                      " (the sizes shown are incomplete)");
  }
  return archive.records_missing() ? kExitFailure : kExitOk;  // said when it was opened
}

}  // namespace

extern const Command kListCommand = {
    "list",
    "list an archive's members with their sizes",
    "usage: ydr list [-v | -q] ARCHIVE\n",
    "Lists each member: its original size (from its stream's trailer), its stored size, the\n"
    "space saved, and its name with '/' separators; then the totals. Names are shown with\n"
    "control characters escaped.\n"
    "\n"
    "  -v, --verbose   also each member's index and state (packed, folder, not-packed, ...)\n"
    "  -q, --quiet     the rows only, no header or totals\n",
    {{"verbose", 'v', false}, {"quiet", 'q', false}},
    false,
    RunList,
};

}  // namespace ydr::tool
