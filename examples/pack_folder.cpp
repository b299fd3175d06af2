// Packs a folder, named in UTF-8, into an archive, and lists what went in.
//
//   pack_folder FOLDER ARCHIVE
#include <cstdio>
#include <string>
#include <vector>

#include "ydr/utf8.h"
#include "ydr/zip.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER ARCHIVE\n", argv[0]);
    return 2;
  }
  // A path ending in a separator stands for a folder and its whole tree.
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  std::vector<YdrWString> paths = {ydr::Utf16FromUtf8(folder)};
  CYdrZIP zip;
  const int packed = zip.CompressZIP(paths, ydr::Utf16FromUtf8(argv[2]).c_str());
  unsigned short name[260];
  for (int count = zip.EnumFileName(); count > 0 && zip.GetNextFileName(name, 260) >= 0; --count) {
    std::printf("%s\n", ydr::Utf8FromUtf16(name).c_str());
  }
  if (packed != 1) {
    std::fprintf(stderr, "pack_folder: not everything was packed (errors 0x%x)\n", zip.GetErrorMask());
    return 1;
  }
  return 0;
}
