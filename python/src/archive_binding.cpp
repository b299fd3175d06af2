// ydr.archive's native half, on the archive core (zip/): reading an archive's index,
// decoding members, unpacking below a destination with the guarantees of `ydr unpack`, and
// writing an archive that appears under its name only once it is complete.
//
// Unpacking keeps the command's rules, on the same platform layer:
// - nothing is written outside the destination: names are folded below it, and every folder
//   and file is reached from the destination's descriptor without following a link or
//   opening anything but a regular file or folder;
// - nothing half-written is left under a member's name: each file is written under a
//   temporary name and moved into place only when its stream decoded inside its recorded
//   range with a matching CRC-32 and length;
// - no file is replaced unless asked, and then only one that was there when unpacking began;
//   of two members that land on one path the first is kept;
// - an archive whose members share or overlap their data is refused before anything is written.
#include <fcntl.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/files.h"
#include "portable/utf16.h"
#include "python/src/binding.h"
#include "python/src/gz_streams.h"
#include "zip/archive_index.h"
#include "zip/archive_layout.h"
#include "zip/member_path.h"
#include "zip/member_stream.h"

namespace ydr::python {
namespace {

// The stream the archive writer makes for an empty file (an empty final block, a second one,
// and a zero trailer): an empty member, not a damaged one.
constexpr unsigned char kEmptyMemberStream[12] = {0x03, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

[[noreturn]] void RaiseErrno(int error, const std::string &path) {
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

py::str NameText(const zip::Name &name) {
  zip::Name shown = name;
  std::replace(shown.begin(), shown.end(), static_cast<unsigned short>('\\'), static_cast<unsigned short>('/'));
  return py::str(portable::Utf8FromWide(shown));
}

std::string JoinedPath(const std::vector<std::string> &components) {
  std::string path;
  for (const std::string &c : components) path += (path.empty() ? "" : "/") + c;
  return path;
}

const char *PlaceWords(zip::DataPlace place) {
  switch (place) {
    case zip::DataPlace::kCutOff: return "its data lie past the end of the archive (it was cut short)";
    case zip::DataPlace::kShared: return "its data share bytes with another member's";
    default: return "";
  }
}

enum class Existing { kRefuse = 0, kOverwrite = 1, kKeep = 2 };

class ArchiveReader {
 public:
  explicit ArchiveReader(const std::string &path) : path_(path) {
    platform::OpenProblem problem;
    file_ = platform::OpenRegularStream(path, {}, &problem);
    if (file_ == nullptr) {
      if (problem.not_regular) Raise(ErrorKind::kArchiveError, "'" + path + "' is not a regular file");
      RaiseErrno(problem.error, path);
    }
    zip::IndexStatus status;
    {
      py::gil_scoped_release nogil;
      status = zip::ReadIndex(file_, &index_);
    }
    switch (status) {
      case zip::IndexStatus::kOk: break;
      case zip::IndexStatus::kNotAnArchive:
        Close();
        Raise(ErrorKind::kArchiveError, "'" + path + "' is not an archive");
      case zip::IndexStatus::kReadFailed: {
        const int error = errno;
        Close();
        RaiseErrno(error, path);
      }
    }
    places_ = zip::PlaceData(index_);
    for (std::size_t i = 0; i < places_.size(); ++i) {
      if (places_[i] == zip::DataPlace::kCutOff) ++cut_off_;
      if (places_[i] == zip::DataPlace::kShared) ++shared_;
    }
  }
  ~ArchiveReader() { Close(); }
  ArchiveReader(const ArchiveReader &) = delete;
  ArchiveReader &operator=(const ArchiveReader &) = delete;

  // Closes the file, or, while other threads read it (their calls run without the GIL),
  // once the last of them is done; no new call starts meanwhile.
  void Close() {
    if (active_ > 0) {
      closing_ = true;
      return;
    }
    if (file_ != nullptr) static_cast<void>(std::fclose(file_));  // read only
    file_ = nullptr;
  }

  // (name, flag, data offset, compressed length, place, CRC-32, size) of every member; CRC-32
  // and size (from the stream's trailer) are None where there are no data to trust.
  py::list Members() {
    Check();
    py::list out;
    for (std::size_t i = 0; i < index_.members.size(); ++i) {
      const zip::MemberRecord &m = index_.members[i];
      py::object crc = py::none(), size = py::none();
      if (m.flag == zip::kFlagPacked && places_[i] == zip::DataPlace::kInside && m.compressed_length >= 8) {
        unsigned char trailer[8];
        if (ReadAt(m.data_offset + m.compressed_length - 8, trailer, 8)) {
          const auto le32 = [&](int at) {
            return std::uint32_t{trailer[at]} | std::uint32_t{trailer[at + 1]} << 8 |
                   std::uint32_t{trailer[at + 2]} << 16 | std::uint32_t{trailer[at + 3]} << 24;
          };
          const bool empty = IsEmptyMember(m);
          crc = py::int_(empty ? 0u : le32(0));
          size = py::int_(empty ? 0u : le32(4));
        }
      } else if (m.flag == zip::kFlagFolder) {
        crc = py::int_(0);
        size = py::int_(0);
      }
      out.append(py::make_tuple(NameText(m.name), m.flag, m.data_offset, m.compressed_length,
                                static_cast<int>(places_[i]), crc, size));
    }
    return out;
  }

  std::int64_t declared_members() const { return index_.declared_members; }
  std::size_t shared() const { return shared_; }
  std::size_t cut_off() const { return cut_off_; }

  // Why member `i` cannot be decoded, or empty when it can.
  std::string Undecodable(std::size_t i) const {
    const zip::MemberRecord &m = index_.members.at(i);
    if (places_[i] == zip::DataPlace::kCutOff || places_[i] == zip::DataPlace::kShared) return PlaceWords(places_[i]);
    switch (m.flag) {
      case zip::kFlagPacked: return "";
      case zip::kFlagNotPacked: return "it was never packed (its source could not be read)";
      case zip::kFlagFolder: return "it is a folder";
      case zip::kFlagRemoved: return "it was removed";
      default: return "the archive's record of it is invalid";
    }
  }

  py::bytes Read(std::size_t i) {
    Check();
    const InUse in_use(*this);
    const std::string why = Undecodable(i);
    if (!why.empty()) Raise(ErrorKind::kDataError, Label(i) + ": " + why);
    const zip::MemberRecord &m = index_.members[i];
    // The bytes object is made at the size the trailer states and filled without the GIL;
    // only a member whose trailer misstates it (which then fails its check) spills over.
    const std::size_t hint = std::min<std::size_t>(StatedSize(m), std::size_t{m.compressed_length} * 1032 + 64);
    PyObject *out = PyBytes_FromStringAndSize(nullptr, static_cast<py::ssize_t>(hint));
    if (out == nullptr) throw py::error_already_set();
    auto result = py::reinterpret_steal<py::object>(out);
    char *const bytes = PyBytes_AS_STRING(out);
    std::size_t filled = 0;
    std::string spill;
    zip::StreamStatus status;
    {
      py::gil_scoped_release nogil;
      status =
          zip::UnpackStream(file_, {m.data_offset, m.compressed_length}, true, [&](const void *data, std::size_t n) {
            const std::size_t fits = std::min(n, hint - filled);
            std::memcpy(bytes + filled, data, fits);
            filled += fits;
            spill.append(static_cast<const char *>(data) + fits, n - fits);
            return true;
          });
    }
    RaiseStatus(i, status);
    if (!spill.empty()) return py::bytes(std::string(bytes, filled) + spill);
    PyObject *shrunk = result.release().ptr();
    if (_PyBytes_Resize(&shrunk, static_cast<py::ssize_t>(filled)) != 0) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(shrunk);
  }

  // Decodes member `i` without keeping its bytes: None when it checks out, else the reason.
  std::optional<std::string> Test(std::size_t i) {
    Check();
    const InUse in_use(*this);
    std::string why = Undecodable(i);
    if (index_.members.at(i).flag == zip::kFlagFolder || index_.members[i].flag == zip::kFlagRemoved) {
      if (places_[i] == zip::DataPlace::kInside || places_[i] == zip::DataPlace::kNone) return std::nullopt;
    }
    if (!why.empty()) return why;
    const zip::MemberRecord &m = index_.members[i];
    zip::StreamStatus status;
    {
      py::gil_scoped_release nogil;
      status = zip::UnpackStream(file_, {m.data_offset, m.compressed_length}, true,
                                 [](const void *, std::size_t) { return true; });
    }
    if (status == zip::StreamStatus::kOk) return std::nullopt;
    return std::string(zip::Describe(status));
  }

  std::unique_ptr<GzReader> Open(std::size_t i) {
    Check();
    const std::string why = Undecodable(i);
    if (!why.empty()) Raise(ErrorKind::kDataError, Label(i) + ": " + why);
    const zip::MemberRecord &m = index_.members[i];
    // The member's reader reads through a descriptor of its own: it may outlive the archive.
    const int fd = fcntl(fileno(file_), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) RaiseErrno(errno, path_);
    auto reader =
        std::make_unique<GzReader>(RangeSource(fd, m.data_offset, m.compressed_length), false, YDR_GZ_MEM_LARGE);
    if (IsEmptyMember(m)) reader->SetEmpty();
    return reader;
  }

  // Unpacks the members `chosen` (archive order) below `dest`. Returns the failures as
  // (member index, reason); raises before writing anything when the archive's members share
  // data, when the destination cannot be opened, or when files to be written exist and
  // `existing` says to refuse.
  std::vector<std::pair<std::size_t, std::string>> Extract(const std::vector<std::size_t> &chosen,
                                                           const std::string &dest_path, bool flat, int existing_mode,
                                                           std::uint64_t max_output);

 private:
  struct Unpacking;

  void Check() const {
    if (file_ == nullptr || closing_) throw py::value_error("the archive is closed");
  }
  // A call that reads the file without the GIL: the file stays open until it ends. Made and
  // ended with the GIL held.
  struct InUse {
    explicit InUse(ArchiveReader &reader) : reader(reader) { ++reader.active_; }
    ~InUse() {
      if (--reader.active_ == 0 && reader.closing_) {
        reader.closing_ = false;
        reader.Close();
      }
    }
    InUse(const InUse &) = delete;
    InUse &operator=(const InUse &) = delete;
    ArchiveReader &reader;
  };
  std::string Label(std::size_t i) const {
    const zip::MemberRecord &m = index_.members.at(i);
    if (m.name.empty()) return "member " + std::to_string(i);
    return "'" + std::string(py::str(NameText(m.name))) + "'";
  }
  bool ReadAt(std::uint64_t offset, void *to, std::size_t size) const {
    return ::pread(fileno(file_), to, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  }
  // The length a packed member's trailer states (0 when it cannot be read).
  std::size_t StatedSize(const zip::MemberRecord &m) const {
    unsigned char length[4];
    if (m.compressed_length < 8 || !ReadAt(m.data_offset + m.compressed_length - 4, length, 4)) return 0;
    return std::size_t{length[0]} | std::size_t{length[1]} << 8 | std::size_t{length[2]} << 16 |
           std::size_t{length[3]} << 24;
  }
  bool IsEmptyMember(const zip::MemberRecord &m) const {
    unsigned char bytes[sizeof kEmptyMemberStream];
    return m.compressed_length == sizeof bytes && ReadAt(m.data_offset, bytes, sizeof bytes) &&
           std::memcmp(bytes, kEmptyMemberStream, sizeof bytes) == 0;
  }
  void RaiseStatus(std::size_t i, zip::StreamStatus status) const {
    switch (status) {
      case zip::StreamStatus::kOk: return;
      case zip::StreamStatus::kNoDecompressor:
      case zip::StreamStatus::kSinkFailed: throw std::bad_alloc();
      case zip::StreamStatus::kCorrupt:
      case zip::StreamStatus::kTrailerMismatch: Raise(ErrorKind::kDataError, Label(i) + ": " + zip::Describe(status));
    }
  }

  std::string path_;
  std::FILE *file_ = nullptr;
  zip::ArchiveIndex index_;
  std::vector<zip::DataPlace> places_;
  std::size_t cut_off_ = 0, shared_ = 0;
  int active_ = 0;  // calls reading the file without the GIL
  bool closing_ = false;
};

// One extraction run, without the GIL.
struct ArchiveReader::Unpacking {
  ArchiveReader &archive;
  platform::FolderCache &folders;
  bool flat;
  Existing existing;
  std::uint64_t max_output;
  std::unordered_map<std::string, platform::FileIdentity> replaceable{};
  std::unordered_map<std::string, std::size_t> landed{};
  std::uint64_t bytes_out = 0;

  // The files the chosen members would write that exist already; a refusal when any does
  // and nothing may be replaced or kept.
  std::string FindExisting(const std::vector<std::size_t> &chosen) {
    std::string first;
    std::size_t count = 0;
    for (const std::size_t i : chosen) {
      const zip::MemberRecord &m = archive.index_.members[i];
      if (archive.places_[i] != zip::DataPlace::kInside || m.flag != zip::kFlagPacked) continue;
      std::vector<std::string> components = zip::FoldedMemberPath(m.name, flat);
      if (components.empty() || !folders.Holds(components)) continue;
      const std::string path = JoinedPath(components);
      ++count;
      if (first.empty() || path < first) first = path;
      const std::string name = components.back();
      components.pop_back();
      platform::FolderProblem ignored;
      const int folder = folders.Get(components, false, &ignored);
      if (folder < 0) continue;
      if (const auto identity = platform::DestinationFolder::IdentityAt(folder, name))
        replaceable.emplace(path, *identity);
    }
    if (existing != Existing::kRefuse || count == 0) return "";
    return std::to_string(count) + (count == 1 ? " file to unpack exists" : " files to unpack exist") +
           " already (the first: '" + first +
           "'); nothing was unpacked. Pass overwrite=True to replace them or "
           "keep=True to skip them";
  }

  void All(const std::vector<std::size_t> &chosen, std::vector<std::pair<std::size_t, std::string>> *failures) {
    for (const std::size_t i : chosen) {
      std::string why = Member(i);
      if (!why.empty()) failures->emplace_back(i, std::move(why));
    }
  }

  // Empty when member `i` was unpacked (or needs nothing); otherwise why not.
  std::string Member(std::size_t i) {
    const zip::MemberRecord &m = archive.index_.members[i];
    if (archive.places_[i] == zip::DataPlace::kCutOff) return PlaceWords(zip::DataPlace::kCutOff);
    switch (m.flag) {
      case zip::kFlagRemoved: return "";
      case zip::kFlagNotPacked: return "it was never packed (its source could not be read)";
      case zip::kFlagFolder: {
        if (flat) return "";
        platform::FolderProblem problem;
        if (folders.Get(zip::FoldedMemberPath(m.name, false), true, &problem) < 0) {
          return "cannot make the folder: " + problem.Describe();
        }
        return "";
      }
      case zip::kFlagPacked:
        if (!m.name.empty() && (m.name.back() == '\\' || m.name.back() == '/')) {
          return "its name ends in a separator, as a folder's does, but it holds a file";
        }
        return File(i, zip::FoldedMemberPath(m.name, flat));
      default: return "the archive's record of it is invalid";
    }
  }

  std::string File(std::size_t i, std::vector<std::string> components) {
    const zip::MemberRecord &m = archive.index_.members[i];
    if (components.empty()) return "its name leaves no file name to write";
    const std::string path = JoinedPath(components);
    if (const auto first = landed.find(path); first != landed.end()) {
      return "lands on the same file, '" + path + "', as member " + std::to_string(first->second) +
             " (the first is kept)";
    }
    if (existing == Existing::kKeep && folders.Holds(components, true)) return "";
    const std::string name = components.back();
    components.pop_back();
    platform::FolderProblem problem;
    const int folder = folders.Get(components, true, &problem);
    if (folder < 0) return "cannot make its folder: " + problem.Describe();
    std::string temporary;
    const int fd = folders.CreateTemporary(folder, name, &temporary, &problem);
    if (fd < 0) return "cannot create the file: " + problem.Describe();
    std::string sink_error;
    const zip::StreamStatus status = zip::UnpackStream(
        archive.file_, {m.data_offset, m.compressed_length}, true, [&](const void *data, std::size_t n) {
          if (bytes_out + n > max_output) {
            sink_error = "unpacking it would pass the output limit";
            return false;
          }
          if (!platform::WriteAllToDescriptor(fd, data, n)) {
            sink_error = std::string("cannot write the file: ") + std::strerror(errno);
            return false;
          }
          bytes_out += n;
          return true;
        });
    bool ok = status == zip::StreamStatus::kOk;
    std::string why = status == zip::StreamStatus::kSinkFailed ? sink_error : zip::Describe(status);
    if (close(fd) != 0 && ok) {
      why = std::string("cannot write the file: ") + std::strerror(errno);
      ok = false;
    }
    using Replacing = platform::DestinationFolder::Replacing;
    Replacing replacing;
    if (existing == Existing::kOverwrite) {
      if (const auto before = replaceable.find(path); before != replaceable.end()) {
        replacing = {Replacing::kOnlyFile, before->second};
      }
    }
    if (ok && !platform::DestinationFolder::Commit(folder, temporary, name, replacing, &problem)) {
      why = problem.kind == platform::FolderProblem::kLink ? "a symbolic link is in its place (left as it is)"
            : problem.kind == platform::FolderProblem::kNotRegular
                ? "a folder, pipe or device is in its place (left as it is)"
            : problem.kind == platform::FolderProblem::kExists ? "a file is in its place (left as it is)"
                                                               : "cannot put the file in place: " + problem.Describe();
      ok = false;
    }
    if (!ok) {
      platform::DestinationFolder::RemoveTemporary(folder, temporary);
      return why;
    }
    landed.emplace(path, i);
    return "";
  }
};

std::vector<std::pair<std::size_t, std::string>> ArchiveReader::Extract(const std::vector<std::size_t> &chosen,
                                                                        const std::string &dest_path, bool flat,
                                                                        int existing_mode, std::uint64_t max_output) {
  Check();
  const InUse in_use(*this);
  if (shared_ > 0) {
    Raise(ErrorKind::kArchiveError, std::to_string(shared_) +
                                        " members share or overlap their data; such an archive could unpack into "
                                        "far more than it holds, so nothing was unpacked");
  }
  for (const std::size_t i : chosen) static_cast<void>(index_.members.at(i));
  const auto existing = static_cast<Existing>(existing_mode);
  std::vector<std::pair<std::size_t, std::string>> failures;
  std::string refusal;
  platform::FolderProblem problem;
  {
    py::gil_scoped_release nogil;
    platform::DestinationFolder dest;
    if (!dest.Open(dest_path, true, &problem)) {
      refusal = "cannot open the destination: " + problem.Describe();
    } else {
      platform::FolderCache folders(dest);
      Unpacking run{*this, folders, flat, existing, max_output};
      refusal = run.FindExisting(chosen);
      if (refusal.empty()) run.All(chosen, &failures);
    }
  }
  if (!refusal.empty()) Raise(ErrorKind::kError, refusal);
  return failures;
}

// ---- Writing ----

// An archive being written: the members' streams gather in an unnamed spool file; Close
// writes the archive under a temporary name beside its own and moves it into place.
class ArchiveWriter {
 public:
  ArchiveWriter(const std::string &path, bool overwrite) : path_(path), overwrite_(overwrite) {
    spool_ = std::tmpfile();
    if (spool_ == nullptr) RaiseErrno(errno, "a temporary file");
  }
  ~ArchiveWriter() { Discard(); }
  ArchiveWriter(const ArchiveWriter &) = delete;
  ArchiveWriter &operator=(const ArchiveWriter &) = delete;

  void AddFolder(const std::string &name) {
    zip::MemberRecord m;
    m.flag = zip::kFlagFolder;
    m.name = StoredName(name, true);
    Land(m.name, false);
    names_units_ += m.name.size() + 1;
    members_.push_back(std::move(m));
  }

  void AddStream(const std::string &name, const py::bytes &stream) {
    zip::MemberRecord m;
    m.flag = zip::kFlagPacked;
    m.name = StoredName(name, false);
    const std::string_view bytes = stream;
    if (spooled_ + bytes.size() + Fixed(m.name.size() + 1) > zip::kArchiveOffsetLimit) {
      Raise(ErrorKind::kArchiveError, "the archive would pass 4 GiB, the most its offsets reach");
    }
    Land(m.name, true);
    if (std::fwrite(bytes.data(), 1, bytes.size(), spool_) != bytes.size()) RaiseErrno(errno, "a temporary file");
    m.data_offset = static_cast<std::uint32_t>(spooled_);  // within the spool until Close
    m.compressed_length = static_cast<std::uint32_t>(bytes.size());
    spooled_ += bytes.size();
    names_units_ += m.name.size() + 1;
    members_.push_back(std::move(m));
  }

  std::size_t count() const { return members_.size(); }

  void Close() {
    if (spool_ == nullptr) return;
    std::string failure;
    int error = 0;
    {
      py::gil_scoped_release nogil;
      failure = Assemble(&error);
    }
    Discard();
    if (error != 0) RaiseErrno(error, failure);
    if (!failure.empty()) Raise(ErrorKind::kArchiveError, failure);
  }

  void Discard() {
    if (spool_ != nullptr) static_cast<void>(std::fclose(spool_));
    spool_ = nullptr;
  }

 private:
  // The header, records and names of `members` more units of names.
  std::uint64_t Fixed(std::size_t more_units) const {
    return zip::kHeaderSize + zip::kRecordSize * (members_.size() + 1) + 2 * (names_units_ + more_units);
  }

  zip::Name StoredName(const std::string &name, bool folder) const {
    zip::Name stored = portable::WideFromUtf8(name);
    std::replace(stored.begin(), stored.end(), static_cast<unsigned short>('/'), static_cast<unsigned short>('\\'));
    if (folder && (stored.empty() || stored.back() != '\\')) stored.push_back('\\');
    if (stored.empty() || stored == zip::Name{'\\'}) throw py::value_error("a member needs a name");
    if (stored.size() > zip::kMaxNameUnits) throw py::value_error("a member's name is at most 259 UTF-16 units");
    return stored;
  }

  // Refuses a file member that would land where an earlier one does.
  void Land(const zip::Name &name, bool file) {
    const std::vector<std::string> components = zip::FoldedMemberPath(name, false);
    if (file && components.empty()) throw py::value_error("the member's name leaves no file name to unpack to");
    if (!file) return;
    const std::string path = JoinedPath(components);
    if (!landed_.insert(path).second) {
      throw py::value_error("a member that unpacks to '" + path + "' is in the archive already");
    }
  }

  // Writes the archive under a temporary name and moves it into place: empty, or what failed
  // (with *error set when the system said why).
  std::string Assemble(int *error) {
    const std::size_t slash = path_.find_last_of('/');
    const std::string folder_path = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    platform::FolderProblem problem;
    platform::DestinationFolder folder;
    if (!folder.Open(folder_path, false, &problem)) return "cannot open the archive's folder: " + problem.Describe();
    const int at = folder.OpenFolder({}, &problem);
    if (at < 0) return "cannot open the archive's folder: " + problem.Describe();
    std::string temporary;
    const int fd = platform::DestinationFolder::CreateTemporary(at, name, &temporary, &problem);
    if (fd < 0) {
      platform::DestinationFolder::CloseFolder(at);
      return "cannot create the archive: " + problem.Describe();
    }
    std::FILE *out = fdopen(fd, "wb");
    std::string failure;
    if (out == nullptr) {
      *error = errno;
      close(fd);
      failure = path_;
    } else {
      if (!WriteParts(out)) {
        *error = errno != 0 ? errno : EIO;
        failure = path_;
      }
      if (std::fclose(out) != 0 && failure.empty()) {
        *error = errno;
        failure = path_;
      }
    }
    using Replacing = platform::DestinationFolder::Replacing;
    Replacing replacing;
    replacing.mode = overwrite_ ? Replacing::kAnyRegularFile : Replacing::kNothing;
    if (failure.empty() && !platform::DestinationFolder::Commit(at, temporary, name, replacing, &problem)) {
      failure = problem.kind == platform::FolderProblem::kExists
                    ? "'" + path_ + "' exists; pass overwrite=True (mode 'w') to replace it"
                    : "cannot put the archive in place: " + problem.Describe();
    }
    if (!failure.empty()) platform::DestinationFolder::RemoveTemporary(at, temporary);
    platform::DestinationFolder::CloseFolder(at);
    return failure;
  }

  bool WriteParts(std::FILE *out) {
    errno = 0;
    std::uint32_t data_start = 0;
    if (!zip::WriteHeaderAndNames(out, &members_, &data_start)) return false;
    if (data_start + spooled_ > zip::kArchiveOffsetLimit) {
      errno = EFBIG;
      return false;
    }
    for (zip::MemberRecord &m : members_) {
      if (m.flag == zip::kFlagPacked) m.data_offset += data_start;
    }
    if (std::fflush(spool_) != 0 || std::fseek(spool_, 0, SEEK_SET) != 0) return false;
    std::vector<char> piece(1 << 16);
    std::size_t got;
    while ((got = std::fread(piece.data(), 1, piece.size(), spool_)) > 0) {
      if (std::fwrite(piece.data(), 1, got, out) != got) return false;
    }
    if (std::ferror(spool_)) return false;
    return zip::WriteRecords(out, members_) && std::fflush(out) == 0 && fsync(fileno(out)) == 0;
  }

  std::string path_;
  bool overwrite_;
  std::FILE *spool_ = nullptr;
  std::uint64_t spooled_ = 0;
  std::size_t names_units_ = 0;
  std::vector<zip::MemberRecord> members_;
  std::unordered_set<std::string> landed_;
};

// A file's member stream, as the archive writer makes it (the same bytes as `ydr pack`).
std::tuple<py::bytes, std::uint64_t> CompressFile(const std::string &path) {
  platform::OpenProblem problem;
  std::FILE *file = platform::OpenRegularStream(path, {}, &problem);
  if (file == nullptr) {
    if (problem.not_regular) Raise(ErrorKind::kError, "'" + path + "' is not a regular file");
    RaiseErrno(problem.error, path);
  }
  std::string stream;
  std::uint64_t size = 0;
  zip::PackStatus status;
  int error = 0;
  {
    py::gil_scoped_release nogil;
    status = zip::CompressToMemory(file, &stream, [&](std::size_t n) { size += n; });
    error = errno;
    static_cast<void>(std::fclose(file));  // read only
  }
  if (status == zip::PackStatus::kReadFailed) RaiseErrno(error, path);
  if (status != zip::PackStatus::kOk) throw std::bad_alloc();
  return {py::bytes(stream), size};
}

// Bytes' member stream, as CompressFile makes a file's: the data, then the end of the input
// as the empty last read (an empty member is the writer's empty stream).
py::bytes CompressBytes(const py::object &data) {
  const ByteView view(data);
  GzWriter writer(YDR_GZ_MEM_SMALL);
  bool ok;
  {
    py::gil_scoped_release nogil;
    ok = writer.Compress(view.data(), view.size()) && writer.EndWithEmptyWrite() && writer.Finish();
  }
  if (!ok) throw std::bad_alloc();
  return py::bytes(writer.output());
}

}  // namespace

void BindArchive(py::module_ &m) {
  py::class_<ArchiveReader>(m, "ArchiveReader")
      .def(py::init<const std::string &>(), py::arg("path"))
      .def("members", &ArchiveReader::Members)
      .def_property_readonly("declared_members", &ArchiveReader::declared_members)
      .def_property_readonly("shared", &ArchiveReader::shared)
      .def_property_readonly("cut_off", &ArchiveReader::cut_off)
      .def("read", &ArchiveReader::Read, py::arg("index"))
      .def("test", &ArchiveReader::Test, py::arg("index"))
      .def("open", &ArchiveReader::Open, py::arg("index"))
      .def("extract", &ArchiveReader::Extract, py::arg("indices"), py::arg("dest"), py::arg("flat"),
           py::arg("existing"), py::arg("max_output"))
      .def("close", &ArchiveReader::Close);

  py::class_<ArchiveWriter>(m, "ArchiveWriter")
      .def(py::init<const std::string &, bool>(), py::arg("path"), py::arg("overwrite"))
      .def("add_folder", &ArchiveWriter::AddFolder, py::arg("name"))
      .def("add_stream", &ArchiveWriter::AddStream, py::arg("name"), py::arg("stream"))
      .def("close", &ArchiveWriter::Close)
      .def("discard", &ArchiveWriter::Discard)
      .def_property_readonly("count", &ArchiveWriter::count);

  m.def("archive_compress_file", &CompressFile, py::arg("path"));
  m.def(
      "archive_folded_path",
      [](const std::string &name, bool flat) { return zip::FoldedMemberPath(portable::WideFromUtf8(name), flat); },
      py::arg("name"), py::arg("flat") = false);
  m.def("archive_compress_bytes", &CompressBytes, py::arg("data"));
}

}  // namespace ydr::python
