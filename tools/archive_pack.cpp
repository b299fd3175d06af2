// ydr pack: files and folder trees into an archive.
//
// The command walks the folders itself, so that it can say what it leaves out and why:
// pipes, sockets and devices (reading one can block for good), a folder reached again
// through a link (links could otherwise fan a tree out without end), the archive being
// written, and names the format cannot carry back (a backslash is a folder separator in
// archives; a name that is not UTF-8 or is longer than 259 units). Member names and their
// order are the library's: the paths as given, folders walked depth first in name order,
// walked folders ending in a backslash, so `ydr pack` and CYdrZIP::CompressZIP write the
// same bytes. The archive is written to a temporary file and renamed into place only when
// every write, the flush and the close succeeded.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/file_access.h"
#include "platform/file_identity.h"
#include "platform/regular_file.h"
#include "platform/utf16.h"
#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/pack_queue.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/archive_layout.h"
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
    if (!platform::DecodeUtf8(text, &pos, &c)) return false;
  }
  return true;
}

// The members a run will pack, found by walking the given paths.
class PackPlan {
 public:
  explicit PackPlan(std::vector<FileIdentity> archive) : archive_(std::move(archive)) {}

  void AddGivenPath(const std::string &path);

  std::vector<PlannedMember> members;
  int failures = 0;  // given paths that cannot be packed, unreadable folders, lost names
  int left_out = 0;  // entries left out by rule
  std::uint64_t total_bytes = 0;

 private:
  bool IsArchive(const FileIdentity &id) const {
    return std::find(archive_.begin(), archive_.end(), id) != archive_.end();
  }
  // A name the format cannot carry back: reported, counted as a failure.
  bool NameProblem(const std::string &path, const zip::Name &name, const std::string &native_name) {
    const char *why = nullptr;
    if (!ValidUtf8(native_name)) {
      why = "its name is not UTF-8 and would not come back the same";
    } else if (native_name.find('\\') != std::string::npos) {
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
  void AddFile(const std::string &path, zip::Name name, std::uint64_t size) {
    members.push_back({{zip::kFlagListed, 0, 0, 0, std::move(name)}, path, size});
    total_bytes += size;
  }
  void Walk(const std::string &folder, const zip::Name &prefix);

  std::vector<FileIdentity> archive_;
  std::set<FileIdentity> walked_;
};

void PackPlan::AddGivenPath(const std::string &path) {
  platform::PathStatus info;
  if (!platform::StatusOf(path, &info)) {
    Complain(kExitFailure, "cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
    ++failures;
    return;
  }
  const FileIdentity id = info.identity;
  zip::Name name = platform::WideFromUtf8(path);
  if (info.kind == platform::PathStatus::Kind::kFolder) {
    // A folder packs its tree whether or not the path ends in a separator.
    if (name.back() != '/' && name.back() != '\\') name.push_back('/');
    if (NameProblem(path, name, path)) return;
    members.push_back({{zip::kFlagFolder, 0, 0, 0, name}, path, 0});
    walked_.insert(id);
    Walk(path, name);
  } else if (IsArchive(id)) {
    LeaveOut(path, "it is the archive being written");
  } else if (info.kind != platform::PathStatus::Kind::kRegular) {
    Complain(kExitFailure, "cannot pack " + Quoted(Printable(path)) + ": not a regular file");
    ++failures;
  } else if (!NameProblem(path, name, path)) {
    AddFile(path, std::move(name), info.size);
  }
}

void PackPlan::Walk(const std::string &folder, const zip::Name &prefix) {
  std::vector<std::string> names;
  if (!platform::FolderNames(folder, &names)) {
    Complain(kExitFailure, "cannot read folder " + Quoted(Printable(folder)) + ": " + std::strerror(errno));
    ++failures;
    return;
  }
  struct Entry {
    std::string native;
    zip::Name wide;
  };
  std::vector<Entry> entries;
  entries.reserve(names.size());
  for (std::string &item : names) {
    zip::Name wide = platform::WideFromUtf8(item);
    entries.push_back({std::move(item), std::move(wide)});
  }
  // The library's order: by name, ordinal UTF-16.
  std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.wide < b.wide; });
  const std::string base = folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
  for (const Entry &entry : entries) {
    const std::string path = base + entry.native;
    platform::PathStatus info;
    if (!platform::StatusOf(path, &info)) {
      if (platform::IsSymbolicLink(path)) {
        LeaveOut(path, "a symbolic link that leads nowhere");
      } else {
        Complain(kExitFailure, "cannot open " + Quoted(Printable(path)) + ": " + std::strerror(errno));
        ++failures;
      }
      continue;
    }
    const FileIdentity id = info.identity;
    zip::Name name = prefix + entry.wide;
    if (info.kind == platform::PathStatus::Kind::kFolder) {
      name.push_back('\\');
      if (walked_.count(id) != 0) {
        LeaveOut(path, "a folder already packed, reached again through a link");
        continue;
      }
      if (NameProblem(path, name, entry.native)) continue;
      members.push_back({{zip::kFlagFolder, 0, 0, 0, name}, path, 0});
      walked_.insert(id);
      Walk(path, name);
    } else if (IsArchive(id)) {
      continue;  // the archive being written: never a member
    } else if (info.kind != platform::PathStatus::Kind::kRegular) {
      LeaveOut(path, "not a regular file (a pipe, socket or device)");
    } else if (!NameProblem(path, name, entry.native)) {
      AddFile(path, std::move(name), info.size);
    }
  }
}

// Opens a member's source for reading: a regular file, never waiting on a pipe swapped in
// since the walk, never the archive itself.
std::FILE *OpenSource(const std::string &path, const std::vector<FileIdentity> &archive, std::string *why) {
  platform::OpenProblem problem;
  const int fd = platform::OpenRegularFile(path, O_RDONLY, 0, &problem);
  std::FILE *file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    *why = fd >= 0 ? std::strerror(errno) : problem.Describe();
    if (fd >= 0) close(fd);
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
  const bool verbose = options.Has("verbose"), quiet = options.Has("quiet");
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

  // Never a member of itself: neither the file being written nor the one it will replace.
  std::vector<FileIdentity> archive_ids;
  if (const auto existing = platform::IdentityOfPath(archive_path)) archive_ids.push_back(*existing);
  Output out;
  if (!out.Open(archive_path)) return Complain(kExitFailure, "cannot create " + archive_label + ": " + out.error());
  if (!out.replaces())
    return Complain(kExitFailure, "cannot write an archive into " + archive_label + ": not a regular file");
  if (const auto written = platform::IdentityOfStream(out.file())) archive_ids.push_back(*written);

  PackPlan plan(archive_ids);
  for (std::size_t i = 1; i < operands.size(); ++i) plan.AddGivenPath(operands[i]);

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
          if (status == zip::PackStatus::kReadFailed && fseeko(file, packed.data_offset, SEEK_SET) != 0) {
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
            Note("ydr: packed %s\n", Quoted(Printable(record.name)).c_str());
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
  const off_t data_end = ftello(file);
  if (data_end < 0 || !zip::WriteRecords(file, records) || std::fflush(file) != 0 ||
      ftruncate(fileno(file), data_end) != 0) {
    return write_failed();
  }
  if (!out.Finish()) return Complain(kExitFailure, "cannot write " + archive_label + ": " + out.error());

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto size = static_cast<std::uint64_t>(data_end);
  if (!quiet) {
    Note("ydr: packed %zu members (%d files), %llu bytes into %llu (%.1f%%) in %.2f s\n", records.size(), files,
         static_cast<unsigned long long>(packed_bytes), static_cast<unsigned long long>(size),
         packed_bytes > 0 ? 100.0 * static_cast<double>(size) / static_cast<double>(packed_bytes) : 0.0, seconds);
    if (plan.left_out > 0) Note("ydr: left out %d entries (named above)\n", plan.left_out);
  }
  if (limit_reached) Complain(kExitFailure, "the 4 GiB limit of the archive format was reached");
  if (failed > 0) {
    Note("ydr: %d paths could not be packed (named above)\n", failed);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

extern const Command kPackCommand = {
    "pack",
    "pack files and folder trees into an archive",
    "usage: ydr pack [-v | -q] [-j N] ARCHIVE PATH...\n",
    "Packs each PATH into ARCHIVE; a folder packs its whole tree, whether or not its path ends\n"
    "in a separator. Members keep their names as given (walked folders' entries follow with a\n"
    "backslash), so unpacking puts them back below a destination at the same relative places.\n"
    "\n"
    "Left out, and named: pipes, sockets and devices, folders reached again through links, and\n"
    "the archive itself; names an archive cannot carry back (a backslash, not UTF-8, over 259\n"
    "units) are left out as failures. An archive holds at most 4 GiB. The archive is written\n"
    "under a temporary name and put in place only when complete; a failed run leaves none.\n"
    "Members are compressed on N threads at once and written in order: the archive is the same\n"
    "whatever N is.\n"
    "\n"
    "  -j, --jobs N    compress on N threads (default: the number of processors)\n"
    "  -v, --verbose   name each file as it is packed\n"
    "  -q, --quiet     no summary line\n",
    {{"jobs", 'j', true}, {"verbose", 'v', false}, {"quiet", 'q', false}},
    false,
    RunPack,
};

}  // namespace ydr::tool
