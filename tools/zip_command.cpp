// ydr pack / unpack / list / test: the archive container on the command line.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/native_path.h"
#include "platform/utf16.h"
#include "tools/command.h"
#include "ydr/gz.h"
#include "ydr/zip.h"

namespace ydr::tool {

const char kZipUsage[] =
    "usage: ydr pack ARCHIVE PATH...      pack files and folders (a folder packs its whole tree)\n"
    "       ydr unpack ARCHIVE [DEST] [--flat] [--only PATTERN]\n"
    "                                     unpack every member, or those matching PATTERN,\n"
    "                                     under DEST (default: the current folder)\n"
    "       ydr list ARCHIVE              index, state, compressed size and name of each member\n"
    "       ydr test ARCHIVE              decompress every member and check its CRC-32 and length\n"
    "\n"
    "Members are stored with their paths as given, and unpack under DEST at their absolute\n"
    "paths (a relative name taken from the current folder): packing docs/ in /home/me and\n"
    "unpacking into out gives out/home/me/docs/. Unpacking never writes outside DEST: '..',\n"
    "absolute paths and drive letters in stored names are folded into it.\n"
    "--flat drops the stored folders; --only takes a pattern for the whole stored name ('*'\n"
    "and '?', letters in either case, several separated by ';'); a name without a backslash\n"
    "also matches members in any folder stored with backslashes. Exit status 1 when any\n"
    "member failed.\n";

namespace {

YdrWString Wide(const std::string &utf8) {
  const platform::WString w = platform::WideFromUtf8(utf8);
  return YdrWString(w.begin(), w.end());
}

std::string Utf8(const YdrWString &w) { return platform::Utf8FromWide(w.c_str()); }

const char *FlagWords(unsigned char flag) {
  switch (flag) {
    case 1: return "packed";
    case 2: return "not-packed";
    case 3: return "folder";
    case 4: return "removed";
    default: return "invalid";
  }
}

const char *ErrorWords(unsigned code) {
  switch (code) {
    case 0x1000: return "the archive cannot be created";
    case 0x2000: return "cannot read the file";
    case 0x2001: return "cannot search the folder";
    case 0x2002: return "cannot start the compressor";
    case 0x4000: return "cannot open the archive";
    case 0x4001: return "not an archive";
    case 0x8000: return "invalid member";
    case 0x8001: return "cannot make its folders, or its path is too long";
    case 0x8002: return "cannot start the decompressor";
    case 0x8003: return "was never packed";
    case 0x8004: return "cannot create the file";
    default: return "failed";
  }
}

void ReportErrors(const CYdrZIP &zip) {
  for (int i = 0; i < zip.GetErrorCount(); ++i) {
    const tagYdrZipErrorList *error = zip.GetError(i);
    if (error->index < 0) {
      std::fprintf(stderr, "ydr: %s (0x%04x)\n", ErrorWords(error->code), error->code);
    } else {
      std::fprintf(stderr, "ydr: %s: %s (0x%04x)\n", Utf8(error->name).c_str(), ErrorWords(error->code), error->code);
    }
  }
}

long long FileSize(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Calls `show` every half second on a thread of its own, while it lives, when standard
// error is a terminal; ends the line it drew when it goes.
class TerminalTicker {
 public:
  explicit TerminalTicker(std::function<bool()> show) : show_(std::move(show)) {
    if (isatty(STDERR_FILENO) == 0) return;
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return done_; })) shown_ |= show_();
    });
  }
  TerminalTicker(const TerminalTicker &) = delete;
  TerminalTicker &operator=(const TerminalTicker &) = delete;
  ~TerminalTicker() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (shown_) std::fprintf(stderr, "\n");
  }

 private:
  std::function<bool()> show_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
};

int Pack(const Arguments &args) {
  if (args.size() < 2) return Complain(kExitUsage, "pack needs ARCHIVE and at least one PATH");
  const auto start = std::chrono::steady_clock::now();
  std::vector<YdrWString> paths;
  for (std::size_t i = 1; i < args.size(); ++i) paths.push_back(Wide(args[i]));
  CYdrZIP zip;
  int ok;
  {
    // The archive's growth while packing runs.
    const std::string archive = args[0];
    TerminalTicker ticker([archive] {
      std::fprintf(stderr, "\rydr: packing: %.1f MB written", static_cast<double>(FileSize(archive)) / 1e6);
      return true;
    });
    ok = zip.CompressZIP(paths, Wide(args[0]).c_str());
  }
  ReportErrors(zip);
  long long input = 0;
  int files = 0;
  for (int i = 0; i < zip.GetMemberCount(); ++i) {
    const tagYdrZipChildFileInfo *m = zip.GetMember(i);
    if (m->flag == 1) {
      ++files;
      input += FileSize(platform::NativePathFromWide(m->name.c_str()));
    }
  }
  const long long archive = FileSize(args[0]);
  std::fprintf(stderr, "ydr: packed %d members (%d files), %lld bytes into %lld (%.1f%%) in %.2f s\n", zip.GetMemberCount(),
               files, input, archive, input > 0 ? 100.0 * static_cast<double>(archive) / static_cast<double>(input) : 0.0,
               Seconds(start));
  return ok == 1 ? kExitOk : kExitFailure;
}

// How far unpacking has come: members done of all, and bytes of the archive read. The
// library reads the archive front to back, so the position of its open archive (from
// /proc/self/fdinfo) tells which members' data lie behind.
long long OpenFilePosition(const std::string &path) {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    if (std::filesystem::read_symlink(entry.path(), error).string() != path) continue;
    std::FILE *info = std::fopen(("/proc/self/fdinfo/" + entry.path().filename().string()).c_str(), "r");
    if (info == nullptr) continue;
    long long position = -1;
    char line[256];
    while (std::fgets(line, sizeof line, info) != nullptr) {
      if (std::sscanf(line, "pos: %lld", &position) == 1) break;
    }
    std::fclose(info);
    if (position >= 0) return position;
  }
  return -1;
}

bool ShowUnpackProgress(const CYdrZIP &zip, const std::string &archive, long long size) {
  const long long position = OpenFilePosition(archive);
  if (position < 0) return false;
  int done = 0;
  for (int i = 0; i < zip.GetMemberCount(); ++i) {
    const tagYdrZipChildFileInfo *m = zip.GetMember(i);
    if (m->flag != 1 || static_cast<long long>(m->dataOffset) + m->compressedLength <= position) ++done;
  }
  std::fprintf(stderr, "\rydr: unpacking: %d of %d members, %.1f of %.1f MB", done, zip.GetMemberCount(),
               static_cast<double>(position) / 1e6, static_cast<double>(size) / 1e6);
  return true;
}

int Unpack(const Arguments &args) {
  std::vector<std::string> positional;
  unsigned int options = 0;
  std::string only;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--flat") {
      options |= YDR_ZIP_FLAT;
    } else if (args[i] == "--only") {
      if (i + 1 == args.size()) return Complain(kExitUsage, "--only needs a PATTERN");
      only = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Complain(kExitUsage, "unknown option '" + args[i] + "'");
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty() || positional.size() > 2) return Complain(kExitUsage, "unpack needs ARCHIVE and at most one DEST");
  const std::string dest = positional.size() == 2 ? positional[1] : ".";
  const auto start = std::chrono::steady_clock::now();
  CYdrZIP zip;
  if (zip.Open(Wide(positional[0]).c_str()) != 1) {
    ReportErrors(zip);
    return kExitFailure;
  }
  int ok;
  if (only.empty()) {
    char resolved[PATH_MAX];
    const std::string archive = realpath(positional[0].c_str(), resolved) != nullptr ? resolved : positional[0];
    const long long size = FileSize(archive);
    TerminalTicker ticker([&zip, archive, size] { return ShowUnpackProgress(zip, archive, size); });
    ok = zip.ExtractFileList(Wide(dest).c_str(), options);
  } else {
    const int count = zip.ExtractFile(Wide(only).c_str(), Wide(dest).c_str(), options);
    std::fprintf(stderr, "ydr: %d members matched '%s'\n", count, only.c_str());
    ok = 1;
  }
  ReportErrors(zip);
  std::fprintf(stderr, "ydr: unpacked %d members into %s in %.2f s\n", zip.GetMemberCount(), dest.c_str(), Seconds(start));
  return ok == 1 ? kExitOk : kExitFailure;
}

int List(const Arguments &args) {
  if (args.size() != 1) return Complain(kExitUsage, "list needs ARCHIVE");
  CYdrZIP zip;
  if (zip.Open(Wide(args[0]).c_str()) != 1) {
    ReportErrors(zip);
    return kExitFailure;
  }
  for (int i = 0; i < zip.GetMemberCount(); ++i) {
    const tagYdrZipChildFileInfo *m = zip.GetMember(i);
    std::printf("%5d  %-10s %10u  %s\n", i, FlagWords(m->flag), m->compressedLength, Utf8(m->name).c_str());
  }
  return kExitOk;
}

constexpr unsigned char kEmptyFileStream[12] = {0x03, 0x00, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

int ReadArchive(YDRGZ, void *user, void *buffer, int count) {
  return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(count), static_cast<FILE *>(user)));
}

int Test(const Arguments &args) {
  if (args.size() != 1) return Complain(kExitUsage, "test needs ARCHIVE");
  CYdrZIP zip;
  if (zip.Open(Wide(args[0]).c_str()) != 1) {
    ReportErrors(zip);
    return kExitFailure;
  }
  FILE *archive = std::fopen(args[0].c_str(), "rb");
  if (archive == nullptr) return Complain(kExitFailure, args[0] + ": cannot open");
  int failed = 0;
  for (int i = 0; i < zip.GetMemberCount(); ++i) {
    const tagYdrZipChildFileInfo *m = zip.GetMember(i);
    if (m->flag == 3 || m->flag == 4) continue;
    bool good = false;
    if (m->flag == 1 && std::fseek(archive, static_cast<long>(m->dataOffset), SEEK_SET) == 0) {
      YDRGZ reader = YdrGZOpenRead(ReadArchive, archive);
      char buffer[65536];
      int got;
      long long total = 0;
      while ((got = YdrGZRead(reader, buffer, sizeof buffer)) > 0) total += got;
      good = got == 0 && YdrGZCloseRead(reader) >= 0;
      if (!good && got == 0 && total == 0 && m->compressedLength == sizeof kEmptyFileStream) {
        // An empty file is packed as an empty stream written with a zero-byte write first:
        // two empty blocks, whose second the reader takes for its trailer.
        unsigned char bytes[sizeof kEmptyFileStream];
        good = std::fseek(archive, static_cast<long>(m->dataOffset), SEEK_SET) == 0 &&
               std::fread(bytes, 1, sizeof bytes, archive) == sizeof bytes &&
               std::memcmp(bytes, kEmptyFileStream, sizeof bytes) == 0;
      }
    }
    if (!good) {
      ++failed;
      std::fprintf(stderr, "ydr: %s: %s\n", Utf8(m->name).c_str(), m->flag == 1 ? "damaged" : FlagWords(m->flag));
    }
  }
  std::fclose(archive);
  std::fprintf(stderr, "ydr: %s: %d members, %d failed\n", args[0].c_str(), zip.GetMemberCount(), failed);
  return failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace

int RunZip(const std::string &command, const Arguments &args) {
  if (command == "pack") return Pack(args);
  if (command == "unpack") return Unpack(args);
  if (command == "list") return List(args);
  return Test(args);
}

}  // namespace ydr::tool
