// ydr unpack: an archive's members into a destination folder.
//
// What it guarantees:
// - Nothing is written outside DEST. A stored name is folded below DEST (a drive, leading
//   separators and ".." that would climb out are dropped), and every folder and file is
//   made relative to DEST's descriptor without following a symbolic link or opening
//   anything but a regular file or folder; a link or a pipe found in the way is reported
//   and the member skipped.
// - Nothing half-written is left under a member's name: each file is written to a temporary
//   name in its folder and renamed into place only when its stream decoded completely,
//   inside its recorded data range, with a matching CRC-32 and length, and every write and
//   the close succeeded.
// - No file is replaced unless --overwrite says so, and then only one that was there when
//   the run began: files are moved into place with a move that never replaces, so neither a
//   second member landing on the same path (names that fold to one, --flat) nor a file
//   someone else makes meanwhile is lost. The first is kept; the later one is named.
// - An archive whose members share or overlap their data (a small archive could otherwise
//   unpack into any amount of output) is refused before anything is written, whatever else
//   is wrong with it; --max-output caps what any archive may write.
// - Every member that fails is named once with the reason, and the exit status is 1.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/files.h"
#include "platform/path_match.h"
#include "portable/utf16.h"
#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/interrupt_cleanup.h"
#include "tools/options.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/member_path.h"
#include "zip/member_stream.h"

namespace ydr::tool {
namespace {

enum class Existing { kRefuse, kOverwrite, kKeep };

struct UnpackOptions {
  std::string archive;
  std::string dest = ".";
  bool flat = false;
  bool has_pattern = false;
  std::string pattern;
  std::uint64_t max_output = UINT64_MAX;
  Existing existing = Existing::kRefuse;
  bool verbose = false, quiet = false;
};

// SIZE: a number of bytes with an optional K, M, G or T (powers of 1024).
bool ParseSize(const std::string &text, std::uint64_t *size) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0) return false;
  const std::string suffix = end;
  int shift = 0;
  if (suffix == "K" || suffix == "k")
    shift = 10;
  else if (suffix == "M" || suffix == "m")
    shift = 20;
  else if (suffix == "G" || suffix == "g")
    shift = 30;
  else if (suffix == "T" || suffix == "t")
    shift = 40;
  else if (!suffix.empty())
    return false;
  if (shift > 0 && value > (UINT64_MAX >> shift)) return false;
  *size = static_cast<std::uint64_t>(value) << shift;
  return true;
}

// Both separators are one for matching: a pattern may say docs/*.txt or docs\*.txt.
zip::Name WithBackslashes(zip::Name text) {
  for (auto &unit : text) {
    if (unit == '/') unit = '\\';
  }
  return text;
}

bool Matches(const UnpackOptions &options, const zip::MemberRecord &member) {
  if (!options.has_pattern) return true;
  const zip::Name name = WithBackslashes(member.name);
  const zip::Name pattern = zip::PatternForName(WithBackslashes(portable::WideFromUtf8(options.pattern)), name);
  return platform::MatchSpecInCodePage(portable::Utf8FromWide(name).c_str(), portable::Utf8FromWide(pattern).c_str(),
                                       "UTF-8");
}

class Unpacker {
 public:
  Unpacker(const ArchiveReader &archive, platform::FolderCache &folders, const UnpackOptions &options)
      : archive_(archive), folders_(folders), options_(options) {}

  // True when the member was unpacked; otherwise it has been named with the reason.
  bool Member(const zip::MemberRecord &member);

  // The regular files that were at members' paths when the run began (--overwrite replaces
  // those, and only while they are the same files).
  std::unordered_map<std::string, platform::FileIdentity> replaceable;
  std::atomic<std::uint64_t> bytes_out{0};  // everything written, counted against --max-output
  std::uint64_t bytes_unpacked = 0;         // the bytes of the files put in place
  int kept = 0;                             // existing files left as they were (--keep)
  ProgressMeter *meter = nullptr;

 private:
  bool Fail(const zip::MemberRecord &member, const std::string &why) {
    if (meter != nullptr) meter->Clear();
    const std::size_t index = static_cast<std::size_t>(&member - archive_.index().members.data());
    Note("ydr: %s: %s\n", MemberLabel(member, index).c_str(), why.c_str());
    return false;
  }
  bool File(const zip::MemberRecord &member, std::vector<std::string> components);

  const ArchiveReader &archive_;
  platform::FolderCache &folders_;
  const UnpackOptions &options_;
  // The paths this run has put files at, with the member that each came from: a later
  // member landing on one of them is refused and the first kept.
  std::unordered_map<std::string, const zip::MemberRecord *> landed_;
};

bool Unpacker::Member(const zip::MemberRecord &member) {
  switch (member.flag) {
    case zip::kFlagRemoved: return true;
    case zip::kFlagNotPacked: return Fail(member, "was never packed (its source could not be read)");
    case zip::kFlagFolder: {
      if (options_.flat) return true;
      platform::FolderProblem problem;
      if (folders_.Get(zip::FoldedMemberPath(member.name, false), true, &problem) < 0) {
        return Fail(member, "cannot make the folder: " + Printable(problem.Describe()));
      }
      return true;
    }
    case zip::kFlagPacked:
      // A file's name that ends in a separator names a folder: written as a file, it would
      // take the place of the folder that later members need.
      if (!member.name.empty() && (member.name.back() == '\\' || member.name.back() == '/')) {
        return Fail(member, "its name ends in a separator, as a folder's does, but it holds a file");
      }
      return File(member, zip::FoldedMemberPath(member.name, options_.flat));
    default: return Fail(member, "the archive's record of it is invalid");
  }
}

// A member's temporary file while it is written: closed and removed if it is left unfinished,
// however the writing ends (a failure, or an exception such as memory running out).
struct PendingFile {
  explicit PendingFile(int folder) : folder(folder) {}
  PendingFile(const PendingFile &) = delete;
  PendingFile &operator=(const PendingFile &) = delete;
  ~PendingFile() {
    if (fd >= 0) platform::CloseDescriptor(fd);
    if (!name.empty()) platform::DestinationFolder::RemoveTemporary(folder, name);
  }
  int folder;
  int fd = -1;
  std::string name;  // empty once the file is in place
};

bool Unpacker::File(const zip::MemberRecord &member, std::vector<std::string> components) {
  if (components.empty()) return Fail(member, "its name leaves no file name to write");
  const std::string path = JoinedPath(components);
  if (const auto first = landed_.find(path); first != landed_.end()) {
    return Fail(member, SamePathWords(path, *first->second));
  }
  if (options_.existing == Existing::kKeep && folders_.Holds(components, true)) {
    ++kept;
    return true;
  }
  const std::string name = components.back();
  components.pop_back();
  platform::FolderProblem problem;
  const int folder = folders_.Get(components, true, &problem);  // the cache's
  if (folder < 0) return Fail(member, "cannot make its folder: " + Printable(problem.Describe()));
  InterruptCleanup cleanup;  // an interrupted run removes the temporary file
  PendingFile pending(folder);
  pending.fd = folders_.CreateTemporary(folder, name, &pending.name, &problem);
  if (pending.fd < 0) return Fail(member, "cannot create the file: " + Printable(problem.Describe()));
  const int fd = pending.fd;
  cleanup.Record(folder, pending.name);
  // The decoder's pieces go straight to the file, without a second buffer.
  std::string sink_error;
  std::uint64_t written = 0;
  const zip::StreamStatus status = zip::UnpackStream(
      archive_.file(), {member.data_offset, member.compressed_length}, true, [&](const void *data, std::size_t size) {
        if (bytes_out + size > options_.max_output) {
          sink_error = "unpacking it would pass the --max-output limit";
          return false;
        }
        if (!platform::WriteAllToDescriptor(fd, data, size)) {
          sink_error = std::string("cannot write the file: ") + std::strerror(errno);
          return false;
        }
        bytes_out += size;
        written += size;
        if (meter != nullptr) meter->AddBytes(size);
        return true;
      });
  bool ok = status == zip::StreamStatus::kOk;
  std::string why = status == zip::StreamStatus::kSinkFailed ? sink_error : zip::Describe(status);
  pending.fd = -1;
  if (!platform::CloseDescriptor(fd) && ok) {
    why = std::string("cannot write the file: ") + std::strerror(errno);
    ok = false;
  }
  // Only a file that was there when the run began may be replaced, and only with
  // --overwrite: never one that this run, or anyone else, has put there since.
  using Replacing = platform::DestinationFolder::Replacing;
  Replacing replacing;
  if (options_.existing == Existing::kOverwrite) {
    if (const auto before = replaceable.find(path); before != replaceable.end()) {
      replacing = {Replacing::kOnlyFile, before->second};
    }
  }
  if (ok && !platform::DestinationFolder::Commit(folder, pending.name, name, replacing, &problem)) {
    why = problem.kind == platform::FolderProblem::kLink ? "a symbolic link is in its place (left as it is)"
          : problem.kind == platform::FolderProblem::kNotRegular
              ? "a folder, pipe or device is in its place (left as it is)"
          : problem.kind == platform::FolderProblem::kExists
              ? "a file was put in its place after unpacking began (left as it is)"
              : "cannot put the file in place: " + Printable(problem.Describe());
    ok = false;
  }
  if (!ok) return Fail(member, why);  // the pending file goes with it
  pending.name.clear();               // in place under its real name
  landed_.emplace(path, &member);
  bytes_unpacked += written;
  if (options_.verbose) {
    if (meter != nullptr) meter->Clear();
    Note("ydr: unpacked %s\n", MemberLabel(member).c_str());
  }
  return true;
}

int ReadOptions(const ParsedOptions &parsed, UnpackOptions *options) {
  const auto &operands = parsed.operands();
  if (operands.empty() || operands.size() > 2) return Complain(kExitUsage, "unpack needs ARCHIVE and at most one DEST");
  options->archive = operands[0];
  if (operands.size() == 2) options->dest = operands[1];
  if (parsed.Has("dest")) {
    if (operands.size() == 2) return Complain(kExitUsage, "DEST given twice");
    options->dest = parsed.Value("dest");
  }
  options->flat = parsed.Has("flat");
  if (parsed.Has("only")) {
    options->has_pattern = true;
    options->pattern = parsed.Value("only");
  }
  if (parsed.Has("max-output") && !ParseSize(parsed.Value("max-output"), &options->max_output)) {
    return Complain(kExitUsage, "--max-output takes a size such as 500M or 2G");
  }
  if (parsed.Has("overwrite") && parsed.Has("keep"))
    return Complain(kExitUsage, "--overwrite and --keep exclude one another");
  if (parsed.Has("overwrite")) options->existing = Existing::kOverwrite;
  if (parsed.Has("keep")) options->existing = Existing::kKeep;
  options->verbose = parsed.Has("verbose");
  options->quiet = parsed.Has("quiet");
  return kExitOk;
}

// The files the chosen members would write that are there already, by their paths below
// DEST, with the identities of those that are regular files.
std::unordered_map<std::string, std::optional<platform::FileIdentity>> ExistingTargets(const ArchiveReader &archive,
                                                                                       const std::vector<bool> &chosen,
                                                                                       platform::FolderCache &dest,
                                                                                       const UnpackOptions &options) {
  std::unordered_map<std::string, std::optional<platform::FileIdentity>> found;
  const auto &members = archive.index().members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const zip::MemberRecord &member = members[i];
    if (archive.place(i) != zip::DataPlace::kInside || !chosen[i]) continue;
    std::vector<std::string> components = zip::FoldedMemberPath(member.name, options.flat);
    if (components.empty() || !dest.Holds(components)) continue;
    const std::string path = JoinedPath(components);
    const std::string name = components.back();
    components.pop_back();
    platform::FolderProblem ignored;
    const int folder = dest.Get(components, false, &ignored);
    found[path] = folder < 0 ? std::nullopt : platform::DestinationFolder::IdentityAt(folder, name);
  }
  return found;
}

int RunUnpack(const ParsedOptions &parsed) {
  UnpackOptions options;
  if (const int status = ReadOptions(parsed, &options); status != kExitOk) return status;
  const auto start = std::chrono::steady_clock::now();
  ArchiveReader archive;
  if (!archive.Open(options.archive)) return kExitFailure;
  const std::string archive_label = Quoted(Printable(options.archive));
  const auto &members = archive.index().members;

  if (archive.shared() > 0) {
    return Complain(kExitFailure,
                    archive_label + ": " + Counted(archive.shared(), "member") +
                        " share or overlap their data (the first: " + MemberLabel(members[archive.first_shared()]) +
                        "); such an archive could unpack into far more than it holds, so nothing was "
                        "unpacked");
  }
  const std::size_t cut_off = archive.cut_off();
  const auto report_cut_off = [&] {
    if (cut_off == 0) return;
    Complain(kExitFailure, archive_label + " is cut short: the data of " + Counted(cut_off, "member") + " lie" +
                               (cut_off == 1 ? "s" : "") + " past its end; " + (cut_off == 1 ? "it was" : "they were") +
                               " not unpacked");
  };
  // The members to unpack, matched once. Members whose data lie past the end of a cut-short
  // archive are not among them: they are reported together. A pattern that matches nothing
  // fails before DEST is made, so the failed run leaves nothing.
  std::vector<bool> chosen(members.size());
  int matched = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    chosen[i] = archive.place(i) != zip::DataPlace::kCutOff && Matches(options, members[i]);
    if (chosen[i]) ++matched;
  }
  if (options.has_pattern && matched == 0) {
    report_cut_off();
    return Complain(kExitFailure, "no member matches " + Quoted(Printable(options.pattern)));
  }
  platform::DestinationFolder dest;
  platform::FolderProblem problem;
  if (!dest.Open(options.dest, true, &problem)) {
    return Complain(kExitFailure, "cannot open the destination: " + Printable(problem.Describe()));
  }
  platform::FolderCache folders(dest);
  // Existing files are replaced or kept only when asked; otherwise nothing is written.
  const auto existing = ExistingTargets(archive, chosen, folders, options);
  if (options.existing == Existing::kRefuse && !existing.empty()) {
    std::string first = existing.begin()->first;
    for (const auto &[path, identity] : existing) first = std::min(first, path);
    return Complain(kExitFailure, Counted(existing.size(), "file") + " to unpack " +
                                      (existing.size() == 1 ? "exists" : "exist") +
                                      " already (the first: " + Quoted(Printable(first)) +
                                      "); nothing was unpacked. Use --overwrite to replace them or --keep to skip "
                                      "them");
  }

  Unpacker unpacker(archive, folders, options);
  for (const auto &[path, identity] : existing) {
    if (identity) unpacker.replaceable.emplace(path, *identity);
  }
  int failed = 0;
  {
    ProgressMeter meter("unpacking", "members", members.size(), 0);
    unpacker.meter = &meter;
    for (std::size_t i = 0; i < members.size(); ++i) {
      meter.ItemDone();
      if (chosen[i] && !unpacker.Member(members[i])) ++failed;
    }
    unpacker.meter = nullptr;
  }
  report_cut_off();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!options.quiet) {
    Note("ydr: unpacked %d of %s, %s, into %s in %.2f s\n", matched - failed - unpacker.kept,
         Counted(static_cast<std::size_t>(matched) + cut_off, "member").c_str(),
         Counted(unpacker.bytes_unpacked, "byte").c_str(), Quoted(Printable(options.dest)).c_str(), seconds);
    if (unpacker.kept > 0) {
      Note("ydr: kept %s as %s\n", Counted(static_cast<std::size_t>(unpacker.kept), "existing file").c_str(),
           unpacker.kept == 1 ? "it was" : "they were");
    }
  }
  if (failed > 0) {
    Note("ydr: %s failed (named above)\n", Counted(static_cast<std::size_t>(failed), "member").c_str());
  }
  return failed > 0 || cut_off > 0 || archive.records_missing() ? kExitFailure : kExitOk;
}

}  // namespace

extern const Command kUnpackCommand = {
    "unpack",
    "unpack an archive's members below a folder",
    "usage: ydr unpack [OPTION]... ARCHIVE [DEST]\n",
    "Unpacks every member of ARCHIVE, or those matching --only, below DEST (default: the current\n"
    "folder). Members land at their stored names below DEST: a member stored as d2\\f.txt at\n"
    "DEST/d2/f.txt. A drive, leading separators and '..' in stored names are folded into DEST:\n"
    "nothing is written outside it, nor through a symbolic link or into anything but a regular\n"
    "file found inside it. Each file is written under a temporary name and put in place only\n"
    "when its data checked out (CRC-32 and length). An existing file is never replaced unless\n"
    "--overwrite says so; without --overwrite or --keep, nothing is unpacked when any exists.\n"
    "--overwrite replaces only files that were there when the run began; of two members that\n"
    "land on one path, the first is kept and the second fails. An archive whose members share\n"
    "or overlap their data is refused before anything is written.\n"
    "\n"
    "  -d, --dest DIR       unpack below DIR (the same as the DEST operand)\n"
    "      --flat           drop the stored folders: every file straight into DEST\n"
    "      --only PATTERN   only members whose whole stored name matches ('*' and '?', letters\n"
    "                       in either case, '/' and '\\' alike, several patterns separated by\n"
    "                       ';'); a pattern without a separator also matches in any folder\n"
    "      --overwrite      replace the files that exist when the run begins\n"
    "      --keep           leave existing files as they are, unpack the rest\n"
    "      --max-output N   fail rather than write more than N bytes (K, M, G: powers of 1024)\n"
    "  -v, --verbose        name each member as it is unpacked\n"
    "  -q, --quiet          no summary line\n"
    "\n"
    "Exit status 1 when any member failed; each is named with the reason.\n",
    {{"dest", 'd', true},
     {"flat", 0, false},
     {"only", 0, true},
     {"overwrite", 0, false},
     {"keep", 0, false},
     {"max-output", 0, true},
     {"verbose", 'v', false},
     {"quiet", 'q', false}},
    false,
    RunUnpack,
};

}  // namespace ydr::tool
