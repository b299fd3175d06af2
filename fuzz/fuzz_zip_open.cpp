// An archive of arbitrary bytes, opened and unpacked into a destination that already holds
// traps: a link to a folder outside, a link to a file outside, and a pipe, under names that
// the seeds' members use. Whatever the archive holds, nothing outside the destination
// changes, the traps stay as they are (never followed, replaced or opened), and the calls
// return.
//
// Stored names are taken in absolute form, so a relative name lands below the destination
// at the current folder's path: the traps are set there. The workspace is made once; after
// each run only what the run wrote is removed, which keeps the target fast.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_workspace.h"
#include "portable/utf16.h"
#include "ydr/zip.h"

namespace {

namespace fs = std::filesystem;

YdrWString Wide(const std::string &s) {
  const ydr::portable::WString w = ydr::portable::WideFromUtf8(s);
  return YdrWString(w.begin(), w.end());
}

struct Traps {
  fs::path outside, secret, dest, base;  // base: where relative names land
};

const char kSecret[] = "outside the destination";

const Traps &SetUp() {
  static const Traps traps = [] {
    const fs::path &work = ydr::fuzz::Workspace("zip");
    const fs::path dest = work / "area" / "dest";
    Traps t{work / "outside", work / "outside" / "secret", dest, dest / fs::current_path().relative_path()};
    fs::create_directories(t.outside);
    fs::create_directories(t.base);
    std::ofstream(t.secret) << kSecret;
    fs::create_directory_symlink(t.outside, t.base / "l");
    fs::create_symlink(t.secret, t.base / "f");
    if (mkfifo((t.base / "p").c_str(), 0600) != 0) std::abort();
    return t;
  }();
  return traps;
}

bool IsTrap(const fs::path &path, const Traps &t) {
  return path == t.base / "l" || path == t.base / "f" || path == t.base / "p";
}

// Removes what a run wrote below `folder`, keeping the traps and the folders that lead to them.
void Tidy(const fs::path &folder, const Traps &t) {
  for (const auto &entry : fs::directory_iterator(folder)) {
    if (IsTrap(entry.path(), t)) continue;
    const bool leads_to_traps = t.base.native().rfind(entry.path().native() + "/", 0) == 0 || entry.path() == t.base;
    if (leads_to_traps) {
      Tidy(entry.path(), t);
    } else {
      fs::remove_all(entry.path());
    }
  }
}

void CheckAndTidy(const Traps &t) {
  // Outside: only the secret, unchanged.
  int count = 0;
  for (const auto &entry : fs::directory_iterator(t.outside)) {
    if (entry.path() != t.secret) std::abort();
    ++count;
  }
  std::ifstream in(t.secret);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (count != 1 || content != kSecret) std::abort();
  // Beside the destination: nothing.
  for (const auto &entry : fs::directory_iterator(t.dest.parent_path())) {
    if (entry.path() != t.dest) std::abort();
  }
  // The traps as they were.
  if (!fs::is_symlink(t.base / "l") || fs::read_symlink(t.base / "l") != t.outside) std::abort();
  if (!fs::is_symlink(t.base / "f") || fs::read_symlink(t.base / "f") != t.secret) std::abort();
  if (!fs::is_fifo(fs::symlink_status(t.base / "p"))) std::abort();
  Tidy(t.dest, t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const Traps &traps = SetUp();
  const fs::path archive = traps.dest.parent_path().parent_path() / "input.ydz";
  std::ofstream(archive, std::ios::binary)
      .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  const YdrWString dest = Wide(traps.dest.string());
  {
    CYdrZIP zip;
    if (zip.Open(Wide(archive.string()).c_str()) == 1) {
      zip.ExtractFileList(dest.c_str(), 0);
      zip.ExtractFileByIndex(0, dest.c_str(), YDR_ZIP_FLAT);
      zip.ExtractFile(Wide("*").c_str(), (dest + YdrWString{'/'}).c_str(), 0);
    }
  }
  CheckAndTidy(traps);
  return 0;
}
