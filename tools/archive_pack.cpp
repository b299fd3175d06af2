// ydr pack: files and folder trees into an archive.
//
// The folders are walked by the archive core's walk (zip/folder_walk.h), the one CYdrZIP's
// build uses, with this command's policy, so that it can say what it leaves out and why:
// pipes, sockets and devices (reading one can block for good), a folder reached again
// through a link (links could otherwise fan a tree out without end), the archive being
// written, and names the format cannot carry back (a backslash is a folder separator in
// archives; a name that is not UTF-8 or is longer than 259 units). Member names and their
// order are the library's: the paths as given, folders walked depth first in name order,
// walked folders ending in a backslash; the command writes the given paths with the
// format's separator, so names hold '\' throughout and `ydr pack` writes the bytes that
// CYdrZIP::CompressZIP writes for the same paths so spelled. The archive is written to a
// temporary file and put in place only when every member was packed and every write, the
// flush and the close succeeded; without -f never over anything already there.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "portable/utf16.h"
#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/pack_queue.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/archive_layout.h"
#include "zip/folder_walk.h"
#include "zip/member_path.h"
#include "zip/member_stream.h"

namespace ydr::tool {
namespace {

using platform::FileIdentity;

struct PlannedMember {
  zip::MemberRecord record;
  std::string source;  // the file to read, as the walk found it
  std::uint64_t size = 0;
};

bool ValidUtf8(const std::string &text) {
  char32_t c;
  for (std::size_t pos = 0; pos < text.size();) {
    if (!portable::DecodeUtf8(text, &pos, &c)) return false;
  }
  return true;
}

// A path as the user gave it, as a member name: the format's separator, '\', throughout,
// and after a folder's name whether or not the path ends in one.
zip::Name MemberName(const std::string &path, bool folder) {
  zip::Name name = portable::WideFromUtf8(path);
  std::replace(name.begin(), name.end(), static_cast<unsigned short>('/'), static_cast<unsigned short>('\\'));
  if (folder && (name.empty() || name.back() != '\\')) name.push_back('\\');
  return name;
}

// The members a run will pack, found by the archive core's folder walk; this is its policy:
// what the file system holds, and what the command leaves out besides, each named.
class PackPlan final : public zip::WalkPolicy {
 public:
  explicit PackPlan(std::vector<FileIdentity> archive) : archive_(archive), walk_(std::move(archive)) {}

  // The given paths come first, in the order given; then the walks of the given folders
  // append what lies below them, as the library orders its members.
  void AddGivenPath(const std::string &path);
  void WalkGivenFolders() {
    for (const zip::WalkEntry &folder : given_folders_) {
      // A folder that cannot be read is named by List.
      static_cast<void>(walk_.Walk(*this, MemberName(folder.source, true), folder));
    }
  }

  std::vector<PlannedMember> members;
  int failures = 0;  // given paths that cannot be packed, unreadable folders, lost names
  int left_out = 0;  // entries left out by rule
  std::uint64_t total_bytes = 0;

  bool List(const zip::Name &name, const zip::WalkEntry &folder, std::vector<zip::WalkEntry> *entries) override;
  bool Admit(const zip::Name &name, const zip::WalkEntry &entry) override;
  void LeftOut(const zip::Name &, const zip::WalkEntry &entry, zip::WalkRule rule) override {
    // The archive found in a walked folder goes unsaid: the user named it to be written.
    if (rule == zip::WalkRule::kFolderWalked)
      LeaveOut(entry.source, "a folder already packed, reached again through a link");
  }
  std::size_t Append(const zip::Name &name, const zip::WalkEntry &entry, std::uint8_t flag) override {
    const bool file = flag != zip::kFlagFolder;
    members.push_back({{flag, 0, 0, 0, name}, entry.source, file ? entry.size : 0});
    if (file) total_bytes += entry.size;
    return members.size() - 1;
  }
  void SearchFailed(std::size_t) override {}  // named by List, which knows why

 private:
  bool IsArchive(const FileIdentity &id) const {
    return std::find(archive_.begin(), archive_.end(), id) != archive_.end();
  }
  // A name the format cannot carry back: reported, counted as a failure. `native_name` is
  // the name as the file system spells it (a walked entry's own name, or a given path).
  bool NameProblem(const std::string &path, const zip::Name &name, const std::string &native_name) {
    const char *why = nullptr;
    if (!ValidUtf8(native_name)) {
      why = "its name is not UTF-8 and would not come back the same";
    } else if (!platform::kBackslashSeparates && native_name.find('\\') != std::string::npos) {
      why = "its name holds a backslash, which archives take for a folder separator";
    } else if (name.size() > zip::kMaxNameUnits) {
      why = "its path is longer than the 259 units an archive name holds";
    }
    if (why == nullptr) return false;
    Complain(kExitFailure, "left out " + Quoted(Printable(path)) + ": " + why);
    ++failures;
    return true;
  }
  void LeaveOut(const std::string &path, const char *why) {
    Note("ydr: left out %s: %s\n", Quoted(Printable(path)).c_str(), why);
    ++left_out;
  }
  // Claims the place below a destination where member `name` will land: no two members may
  // land on one path, or unpacking one would meet the other. The same file or folder again
  // (given twice, or given and found by a walk) is left out; another one is a failure.
  bool Claim(const zip::Name &name, const zip::WalkEntry &entry) {
    std::string place;
    for (const std::string &component : zip::FoldedMemberPath(name, false)) place += "/" + component;
    if (place.empty()) return true;  // a folder standing for the destination itself
    const auto [taken, fresh] = places_.emplace(place, Place{entry.identity, entry.source});
    if (fresh) return true;
    if (taken->second.identity && taken->second.identity == entry.identity) {
      LeaveOut(entry.source, "packed already under the same name");
    } else {
      Complain(kExitFailure, "left out " + Quoted(Printable(entry.source)) + ": it would unpack onto " +
                                 Quoted(Printable(place.substr(1))) + ", as " +
                                 Quoted(Printable(taken->second.source)) + " does");
      ++failures;
    }
    return false;
  }

  struct Place {
    std::optional<FileIdentity> identity;
    std::string source;
  };

  std::vector<FileIdentity> archive_;
  zip::FolderWalk walk_;
  std::vector<zip::WalkEntry> given_folders_;
  std::map<std::string, Place> places_;  // folded member paths
};

void PackPlan::AddGivenPath(const std::string &path) {
  platform::PathStatus info;
  if (!platform::StatusOf(path, &info)) {
    Complain(kExitFailure, "cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
    ++failures;
    return;
  }
  const bool is_folder = info.kind == platform::PathStatus::Kind::kFolder;
  const zip::Name name = MemberName(path, is_folder);
  if (is_folder) {
    // A folder packs its tree whether or not the path ends in a separator.
    if (NameProblem(path, name, path)) return;
    zip::WalkEntry folder;
    folder.kind = zip::WalkEntry::Kind::kFolder;
    folder.identity = info.identity;
    folder.source = path;
    if (!Claim(name, folder)) return;
    Append(name, folder, zip::kFlagFolder);
    given_folders_.push_back(std::move(folder));
  } else if (IsArchive(info.identity)) {
    LeaveOut(path, "it is the archive being written");
  } else if (info.kind != platform::PathStatus::Kind::kRegular) {
    Complain(kExitFailure, "cannot pack " + Quoted(Printable(path)) + ": not a regular file");
    ++failures;
  } else if (!NameProblem(path, name, path)) {
    zip::WalkEntry file;
    file.size = info.size;
    file.identity = info.identity;
    file.source = path;
    if (Claim(name, file)) Append(name, file, zip::kFlagListed);
  }
}

bool PackPlan::List(const zip::Name &, const zip::WalkEntry &folder, std::vector<zip::WalkEntry> *entries) {
  std::vector<std::string> names;
  if (!platform::FolderNames(folder.source, &names)) {
    Complain(kExitFailure, "cannot read folder " + Quoted(Printable(folder.source)) + ": " + std::strerror(errno));
    ++failures;
    return false;
  }
  const std::string &base = folder.source;
  const std::string prefix =
      base.back() == '/' || (platform::kBackslashSeparates && base.back() == '\\') ? base : base + "/";
  entries->reserve(names.size());
  for (const std::string &native : names) {
    zip::WalkEntry entry;
    entry.name = portable::WideFromUtf8(native);
    entry.source = prefix + native;
    platform::PathStatus info;
    if (!platform::StatusOf(entry.source, &info)) {
      entry.kind = zip::WalkEntry::Kind::kMissing;
      entry.error = errno;
    } else {
      entry.kind = info.kind == platform::PathStatus::Kind::kFolder    ? zip::WalkEntry::Kind::kFolder
                   : info.kind == platform::PathStatus::Kind::kRegular ? zip::WalkEntry::Kind::kFile
                                                                       : zip::WalkEntry::Kind::kOther;
      entry.size = info.size;
      entry.identity = info.identity;
    }
    entries->push_back(std::move(entry));
  }
  // The library's order: by name, ordinal UTF-16, so that both build the same archive.
  std::sort(entries->begin(), entries->end(),
            [](const zip::WalkEntry &a, const zip::WalkEntry &b) { return a.name < b.name; });
  return true;
}

bool PackPlan::Admit(const zip::Name &name, const zip::WalkEntry &entry) {
  switch (entry.kind) {
    case zip::WalkEntry::Kind::kMissing:
      if (platform::IsSymbolicLink(entry.source)) {
        LeaveOut(entry.source, "a symbolic link that leads nowhere");
      } else {
        Complain(kExitFailure, "cannot open " + Quoted(Printable(entry.source)) + ": " + std::strerror(entry.error));
        ++failures;
      }
      return false;
    case zip::WalkEntry::Kind::kOther:
      LeaveOut(entry.source, "not a regular file (a pipe, socket or device)");
      return false;
    case zip::WalkEntry::Kind::kFile:
    case zip::WalkEntry::Kind::kFolder: break;
  }
  // The entry's own name, as the folder holds it: no name holds a separator of its system.
  const std::size_t slash = entry.source.find_last_of(platform::kBackslashSeparates ? "/\\" : "/");
  return !NameProblem(entry.source, name, entry.source.substr(slash + 1)) && Claim(name, entry);
}

// Opens a member's source for reading: a regular file, never waiting on a pipe swapped in
// since the walk, never the archive itself.
std::FILE *OpenSource(const std::string &path, const std::vector<FileIdentity> &archive, std::string *why) {
  platform::OpenProblem problem;
  std::FILE *file = platform::OpenRegularStream(path, {}, &problem);
  if (file == nullptr) {
    *why = problem.Describe();
    return nullptr;
  }
  const auto id = platform::IdentityOfStream(file);
  if (id && std::find(archive.begin(), archive.end(), *id) != archive.end()) {
    *why = "it is the archive being written";
    static_cast<void>(std::fclose(file));  // read only
    return nullptr;
  }
  return file;
}

int RunPack(const ParsedOptions &options) {
  const std::vector<std::string> &operands = options.operands();
  if (operands.size() < 2) return Complain(kExitUsage, "pack needs ARCHIVE and at least one PATH");
  const bool verbose = options.Has("verbose"), quiet = options.Has("quiet"), force = options.Has("force");
  int threads = ProcessorCount();
  if (options.Has("jobs")) {
    const std::string &value = options.Value("jobs");
    char *end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || n < 1 || n > 1024) {
      return Complain(kExitUsage, "--jobs takes a number of threads from 1 to 1024");
    }
    threads = static_cast<int>(n);
  }
  const auto start = std::chrono::steady_clock::now();
  const std::string &archive_path = operands[0];
  const std::string archive_label = Quoted(Printable(archive_path));

  // An archive already there is replaced only when asked; a pipe or device never gets one
  // (opening it could wait for a reader for good), nor a link that leads nowhere.
  if (platform::AnythingAt(archive_path)) {
    if (!force) return Complain(kExitFailure, archive_label + " already exists; not replaced (use -f)");
    platform::PathStatus there;
    if (!platform::StatusOf(archive_path, &there))  // a link that leads nowhere is not followed
      return Complain(kExitFailure, "cannot write an archive into " + archive_label + ": " + std::strerror(errno));
    if (there.kind == platform::PathStatus::Kind::kOther)
      return Complain(kExitFailure, "cannot write an archive into " + archive_label + ": not a regular file");
  }
  // Never a member of itself: neither the file being written nor the one it will replace.
  std::vector<FileIdentity> archive_ids;
  if (const auto existing = platform::IdentityOfPath(archive_path)) archive_ids.push_back(*existing);
  Output out;
  if (!(force ? out.Open(archive_path) : out.OpenNew(archive_path)))
    return Complain(kExitFailure, "cannot create " + archive_label + ": " + out.error());
  if (!out.replaces())
    return Complain(kExitFailure, "cannot write an archive into " + archive_label + ": not a regular file");
  if (const auto written = platform::IdentityOfStream(out.file())) archive_ids.push_back(*written);

  PackPlan plan(archive_ids);
  for (std::size_t i = 1; i < operands.size(); ++i) plan.AddGivenPath(operands[i]);
  plan.WalkGivenFolders();
  // All or nothing: a path that cannot be packed leaves no archive (and an older one as it
  // was), so nothing is compressed only to be thrown away.
  if (plan.failures > 0) {
    Note("ydr: %s could not be packed (named above); no archive written\n", Counted(plan.failures, "path").c_str());
    return kExitFailure;
  }
  if (plan.members.empty()) return Complain(kExitFailure, "nothing to pack; no archive written");

  std::vector<zip::MemberRecord> records;
  records.reserve(plan.members.size());
  for (const PlannedMember &m : plan.members) records.push_back(m.record);
  std::FILE *file = out.file();
  std::uint32_t data_start = 0;
  const auto write_failed = [&] {
    return Complain(kExitFailure, "cannot write " + archive_label + ": " + std::strerror(errno));
  };
  if (!zip::WriteHeaderAndNames(file, &records, &data_start)) return write_failed();

  int files = 0, failed = plan.failures;
  int file_count = 0;
  for (const zip::MemberRecord &r : records) file_count += r.flag != zip::kFlagFolder;
  bool limit_reached = false;
  std::uint64_t packed_bytes = 0;
  {
    ProgressMeter meter("packing", "files", static_cast<std::uint64_t>(file_count), plan.total_bytes);
    std::vector<PackJob> jobs;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].flag != zip::kFlagFolder) jobs.push_back({plan.members[i].source, plan.members[i].size});
    }
    PackQueue queue(
        std::move(jobs), threads,
        [&](const std::string &path, std::string *why) { return OpenSource(path, archive_ids, why); },
        [&](std::size_t n) { meter.AddBytes(n); });
    for (std::size_t i = 0; i < records.size(); ++i) {
      zip::MemberRecord &record = records[i];
      if (record.flag == zip::kFlagFolder) continue;
      record.flag = zip::kFlagNotPacked;
      const std::string &source_path = plan.members[i].source;
      CompressedMember member = queue.Take();
      zip::PackedMember packed;
      zip::PackStatus status = zip::PackStatus::kOk;
      int error = 0;
      std::uint64_t read = 0;
      if (member.write_here) {
        std::FILE *source = OpenSource(source_path, archive_ids, &member.why);
        member.opened = source != nullptr;
        if (member.opened) {
          status = zip::PackStream(file, source, &packed, zip::kArchiveOffsetLimit, [&](std::size_t n) {
            read += n;
            meter.AddBytes(n);
          });
          error = errno;
          static_cast<void>(std::fclose(source));  // read only
          // A member cut short by a failed read is not kept: its bytes are taken back.
          if (status == zip::PackStatus::kReadFailed && !platform::SeekStream(file, packed.data_offset)) {
            return write_failed();
          }
        }
      } else if (member.opened) {
        read = member.source_bytes;
        error = member.error;
        status = member.status;
        if (status == zip::PackStatus::kOk) {
          status = zip::WriteCompressed(file, member.stream, &packed);
          if (status == zip::PackStatus::kWriteFailed) error = errno;
        }
      }
      meter.ItemDone();
      if (!member.opened) {
        meter.Clear();
        Complain(kExitFailure, "cannot read " + Quoted(Printable(source_path)) + ": " + member.why);
        ++failed;
        continue;
      }
      if (status != zip::PackStatus::kOk) meter.Clear();
      switch (status) {
        case zip::PackStatus::kOk:
          record.flag = zip::kFlagPacked;
          record.data_offset = packed.data_offset;
          record.compressed_length = packed.compressed_length;
          packed_bytes += read;
          ++files;
          if (verbose) {
            meter.Clear();
            Note("ydr: packed %s\n", MemberLabel(record).c_str());
          }
          continue;
        case zip::PackStatus::kWriteFailed: errno = error; return write_failed();
        case zip::PackStatus::kReadFailed:
          Complain(kExitFailure, "cannot read " + Quoted(Printable(source_path)) + ": " + std::strerror(error));
          break;
        case zip::PackStatus::kTooLarge:
          limit_reached = true;
          Complain(kExitFailure, "not packed " + Quoted(Printable(source_path)) +
                                     ": the archive would pass 4 GiB, the most its 32-bit offsets reach");
          break;
        case zip::PackStatus::kNoCompressor:
          Complain(kExitFailure, "not packed " + Quoted(Printable(source_path)) + ": out of memory");
          break;
      }
      ++failed;
    }
  }
  if (limit_reached) Complain(kExitFailure, "the 4 GiB limit of the archive format was reached");
  if (failed > 0) {
    Note("ydr: %s could not be packed (named above); no archive written\n", Counted(failed, "path").c_str());
    return kExitFailure;
  }
  const std::int64_t data_end = platform::StreamPosition(file);
  if (data_end < 0 || !zip::WriteRecords(file, records) ||
      !platform::TruncateStream(file, static_cast<std::uint64_t>(data_end))) {
    return write_failed();
  }
  if (!out.Finish()) return Complain(kExitFailure, "cannot write " + archive_label + ": " + out.error());

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto size = static_cast<std::uint64_t>(data_end);
  if (!quiet) {
    // The files' bytes and what their streams take, as `ydr list` totals them.
    std::uint64_t stored = 0;
    for (const zip::MemberRecord &r : records) stored += r.flag == zip::kFlagPacked ? r.compressed_length : 0;
    Note("ydr: packed %s (%s), %llu bytes into %llu (%s saved), archive %llu bytes, in %.2f s\n",
         Counted(records.size(), "member").c_str(), Counted(files, "file").c_str(),
         static_cast<unsigned long long>(packed_bytes), static_cast<unsigned long long>(stored),
         SavedPercent(stored, packed_bytes).c_str(), static_cast<unsigned long long>(size), seconds);
    if (plan.left_out > 0) Note("ydr: left out %s (named above)\n", Counted(plan.left_out, "entry", "entries").c_str());
  }
  return kExitOk;
}

}  // namespace

extern const Command kPackCommand = {
    "pack",
    "pack files and folder trees into an archive",
    "usage: ydr pack [-f] [-v | -q] [-j N] ARCHIVE PATH...\n",
    "Packs each PATH into ARCHIVE; a folder packs its whole tree, whether or not its path ends\n"
    "in a separator. Members keep their names as given, with the archive's separator '\\'\n"
    "throughout (listings and messages show '/'), so unpacking puts them back below a\n"
    "destination at the same relative places.\n"
    "\n"
    "Left out, and named: pipes, sockets and devices, folders reached again through links, and\n"
    "the archive itself. A path that cannot be packed (missing, unreadable, or a name an\n"
    "archive cannot carry back: a backslash, not UTF-8, over 259 units) fails the run, as do\n"
    "two files that would unpack onto one path; a file or folder reached twice is packed once.\n"
    "An archive holds at most 4 GiB. The archive is written under a temporary name and put in\n"
    "place only when every member was packed: a run that fails, or finds nothing to pack,\n"
    "leaves no archive, and an existing one as it was. An existing ARCHIVE is replaced only\n"
    "with -f. Members are compressed on N threads at once and written in order: the archive is\n"
    "the same whatever N is.\n"
    "\n"
    "  -f, --force     replace ARCHIVE if it exists\n"
    "  -j, --jobs N    compress on N threads (default: the number of processors)\n"
    "  -v, --verbose   name each file as it is packed\n"
    "  -q, --quiet     no summary line\n",
    {{"force", 'f', false}, {"jobs", 'j', true}, {"verbose", 'v', false}, {"quiet", 'q', false}},
    false,
    RunPack,
};

}  // namespace ydr::tool
