// An archive of arbitrary bytes, opened and unpacked into a fresh folder: whatever it holds,
// nothing appears beside that folder, and the calls return.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_workspace.h"
#include "platform/utf16.h"
#include "ydr/zip.h"

namespace {

namespace fs = std::filesystem;

YdrWString Wide(const std::string &s) {
  const ydr::platform::WString w = ydr::platform::WideFromUtf8(s);
  return YdrWString(w.begin(), w.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const fs::path &work = ydr::fuzz::Workspace("zip");
  const fs::path archive = work / "input.ydz";
  const fs::path area = work / "area";
  const fs::path dest = area / "dest";
  fs::create_directories(dest);
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  {
    CYdrZIP zip;
    if (zip.Open(Wide(archive.string()).c_str()) == 1) {
      zip.ExtractFileList(Wide(dest.string()).c_str(), 0);
      zip.ExtractFileByIndex(0, Wide(dest.string()).c_str(), YDR_ZIP_FLAT);
      zip.ExtractFile(Wide("*").c_str(), Wide(dest.string() + "/").c_str(), 0);
    }
  }
  for (const auto &entry : fs::directory_iterator(area)) {
    if (entry.path() != dest) std::abort();  // something was written beside the destination
  }
  std::error_code ignored;
  fs::remove_all(area, ignored);
  return 0;
}
