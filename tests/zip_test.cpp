// The archive container through the library as hosts load it: exact bytes of small
// archives, round trips over real folder trees, the error codes hosts rely on, and hostile
// archives that must not write outside the destination.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/memory_streams.h"
#include "tests/support/temp_dir.h"
#include "ydr/gz.h"
#include "ydr/zip.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::Get32;
using ydr::test::Put32;
using ydr::test::ReadFile;
using ydr::test::TempDir;

YdrWString Wide(const std::string &utf8) {
  const ydr::portable::WString w = ydr::test::W(utf8);
  return YdrWString(w.begin(), w.end());
}

std::string Narrow(const YdrWString &w) { return ydr::portable::Utf8FromWide(w.c_str()); }

int Pack(CYdrZIP &zip, const std::vector<std::string> &paths, const std::string &archive) {
  std::vector<YdrWString> wide;
  for (const std::string &p : paths) wide.push_back(Wide(p));
  return zip.CompressZIP(wide, Wide(archive).c_str());
}

std::vector<std::string> Names(const CYdrZIP &zip) {
  std::vector<std::string> names;
  for (int i = 0; i < zip.GetMemberCount(); ++i) names.push_back(Narrow(zip.GetMember(i)->name));
  return names;
}

std::vector<std::pair<unsigned, std::string>> Errors(const CYdrZIP &zip) {
  std::vector<std::pair<unsigned, std::string>> errors;
  for (int i = 0; i < zip.GetErrorCount(); ++i)
    errors.emplace_back(zip.GetError(i)->code, Narrow(zip.GetError(i)->name));
  return errors;
}

TEST(ZipFormatTest, EmptyArchiveIsFortyEightBytes) {
  TempDir dir;
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {}, dir / "empty.ydz"), 1);
  const std::string bytes = ReadFile(dir / "empty.ydz");
  std::string expected = "YdrZip 1.0\r\n\x1a";
  expected.append(19, '\0');
  expected.append(4, '\0');  // count 0
  expected += '\x01';
  expected += '\0';
  expected.append(10, '\0');
  EXPECT_EQ(bytes, expected);
}

TEST(ZipFormatTest, OneMemberLaysOutRecordNameAndData) {
  TempDir dir;
  const std::string content(5000, 'x');
  dir.WriteFile("a.txt", content);
  ydr::test::ScopedCurrentDirectory cwd(dir.path());
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {"a.txt"}, "one.ydz"), 1);  // a five-unit name
  const std::string bytes = ReadFile(dir / "one.ydz");
  EXPECT_EQ(Get32(bytes, 32), 1u);
  EXPECT_EQ(bytes[48], 1);                // flag: packed
  EXPECT_EQ(Get32(bytes, 48 + 4), 92u);   // data offset
  EXPECT_EQ(Get32(bytes, 48 + 12), 80u);  // name offset
  EXPECT_EQ(bytes[48 + 16], 5);           // name length
  EXPECT_EQ(bytes.substr(80, 12), std::string("a\0.\0t\0x\0t\0\0\0", 12));
  const std::uint32_t length = Get32(bytes, 48 + 8);
  EXPECT_EQ(bytes.size(), 92u + length);
  // The data is one compressed stream, as the stream compressor writes it.
  std::string stream;
  YDRGZ writer = YdrGZOpenWrite(ydr::test::AppendToBytes, &stream);
  YdrGZWrite(writer, content.data(), static_cast<int>(content.size()));
  YdrGZWrite(writer, content.data(), 0);
  YdrGZCloseWrite(writer);
  EXPECT_EQ(bytes.substr(92), stream);
}

TEST(ZipFormatTest, MembersWithoutDataAndTheSignatureCheck) {
  TempDir dir;
  dir.WriteFile("tree/f.txt", "data");
  dir.MakeDir("tree/empty");
  CYdrZIP zip;
  // A folder, a missing file, and a file: only the last has data.
  EXPECT_EQ(Pack(zip, {dir / "tree/empty/", dir / "missing.txt", dir / "tree/f.txt"}, dir / "a.ydz"), 0);
  ASSERT_EQ(zip.GetMemberCount(), 3);
  EXPECT_EQ(zip.GetMember(0)->flag, 3);
  EXPECT_EQ(zip.GetMember(1)->flag, 2);
  EXPECT_EQ(zip.GetMember(2)->flag, 1);
  EXPECT_EQ(zip.GetErrorMask(), 0x2000u);
  EXPECT_EQ(Errors(zip), (std::vector<std::pair<unsigned, std::string>>{{0x2000u, dir / "missing.txt"}}));
  const std::string bytes = ReadFile(dir / "a.ydz");
  for (int i : {0, 1}) EXPECT_EQ(Get32(bytes, 48 + 32 * i + 8), 0u);  // no data
  const std::uint32_t names_end =
      Get32(bytes, 48 + 32 * 2 + 12) + 2 * (static_cast<std::uint32_t>(zip.GetMember(2)->name.size()) + 1);
  EXPECT_EQ(Get32(bytes, 48 + 32 * 2 + 4), names_end);  // the only data starts right after the names

  struct Damage {
    std::size_t offset;
    char value;
    bool readable;
  };
  for (const Damage d : {Damage{12, '\x1b', false}, Damage{0, 'y', false}, Damage{20, '\x01', false},
                         Damage{36, '\x07', true}, Damage{37, '\x09', true}, Damage{40, '\x01', true}}) {
    SCOPED_TRACE(d.offset);
    std::string damaged = bytes;
    damaged[d.offset] = d.value;
    dir.WriteFile("d.ydz", damaged);
    CYdrZIP reader;
    EXPECT_EQ(reader.Open(ydr::test::W(dir / "d.ydz").c_str()), d.readable ? 1 : 0);
    EXPECT_EQ(reader.GetMemberCount(), d.readable ? 3 : 0);
    EXPECT_EQ(reader.GetErrorMask(), d.readable ? 0u : 0x4001u);
  }
}

void Expect(const TempDir &dir, const std::string &relative, const std::string &content) {
  EXPECT_TRUE(fs::is_regular_file(fs::u8path(dir / relative))) << relative;
  EXPECT_EQ(ReadFile(dir / relative), content) << relative;
}

// Member names in the order the shipped base library's listing gives them. Beside the strict
// base library, which lists folders in the system's order, the names are sorted depth
// first here, after checking that every member follows the folder that holds it.
std::vector<std::string> InListingOrder(std::vector<std::string> names) {
  if (!YDR_STRICT_BASE_LIBRARY) return names;
  for (std::size_t i = 1; i < names.size(); ++i) {
    const std::size_t cut = names[i].find_last_of("/\\", names[i].size() - 2);
    const std::string folder = names[i].substr(0, cut + 1);
    const auto holder = std::find(names.begin(), names.end(), folder);
    EXPECT_TRUE(holder != names.end() && holder < names.begin() + static_cast<std::ptrdiff_t>(i)) << names[i];
  }
  const auto folder_key = [](std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
  };
  std::sort(names.begin(), names.end(),
            [&](const std::string &a, const std::string &b) { return folder_key(a) < folder_key(b); });
  return names;
}

TEST(ZipRoundTripTest, FolderTreesComeBackWhole) {
  TempDir src, out;
  std::string binary(3 << 20, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 13);
  src.WriteFile("root/a.txt", "alpha\n");
  src.WriteFile("root/sub/b b.txt", "bravo with spaces\n");
  src.WriteFile("root/sub/deeper/한글.txt", "한국어 파일\n");
  src.WriteFile("root/zero", "");
  src.WriteFile("root/bin.dat", binary);
  src.MakeDir("root/empty");
  ydr::test::ScopedCurrentDirectory cwd(src.path());
  CYdrZIP zip;
  ASSERT_EQ(Pack(zip, {"root/"}, "tree.ydz"), 1);
  const std::vector<std::string> order = {
      "root/",      "root/a.txt",        "root/bin.dat",       "root/empty\\",
      "root/sub\\", "root/sub\\b b.txt", "root/sub\\deeper\\", "root/sub\\deeper\\한글.txt",
      "root/zero"};
  // Depth first, in the order the base library lists each folder: ours sorts by name, so
  // the archive is the same on every run; the strict one lists in the system's order.
  EXPECT_EQ(InListingOrder(Names(zip)), order);

  CYdrZIP reader;
  ASSERT_EQ(reader.DecompressZIP(ydr::test::W("tree.ydz").c_str(), ydr::test::W(out.path()).c_str(), 0), 1);
  EXPECT_EQ(Names(reader), Names(zip));
  const std::string base = fs::current_path().relative_path().u8string();  // stored names are made absolute
  Expect(out, base + "/root/a.txt", "alpha\n");
  Expect(out, base + "/root/sub/b b.txt", "bravo with spaces\n");
  Expect(out, base + "/root/sub/deeper/한글.txt", "한국어 파일\n");
  Expect(out, base + "/root/zero", "");
  Expect(out, base + "/root/bin.dat", binary);
  EXPECT_TRUE(fs::is_directory(fs::u8path(out / (base + "/root/empty"))));

  // Flat: every file straight into the destination.
  TempDir flat;
  CYdrZIP flat_reader;
  ASSERT_EQ(flat_reader.DecompressZIP(ydr::test::W("tree.ydz").c_str(), ydr::test::W(flat.path() + "/").c_str(),
                                      YDR_ZIP_FLAT),
            1);
  Expect(flat, "한글.txt", "한국어 파일\n");
  Expect(flat, "bin.dat", binary);
}

TEST(ZipObjectTest, EnumerationPatternsAndErrors) {
  TempDir dir;
  dir.WriteFile("p/x.txt", "1");
  dir.WriteFile("p/q/x.txt", "2");
  dir.WriteFile("p/y.log", "3");
  ydr::test::ScopedCurrentDirectory cwd(dir.path());
  CYdrZIP zip;
  unsigned short name[64];
  EXPECT_EQ(zip.GetNextFileName(name, 64), -1);  // before anything
  ASSERT_EQ(Pack(zip, {"p\\"}, "p.ydz"), 1);
  EXPECT_EQ(Pack(zip, {"p\\"}, "again.ydz"), 0);  // not cleared
  EXPECT_FALSE(fs::exists(dir / "again.ydz"));
  zip.Clear();

  CYdrZIP reader;
  ASSERT_EQ(reader.Open(ydr::test::W("p.ydz").c_str()), 1);
  EXPECT_EQ(reader.Open(ydr::test::W("p.ydz").c_str()), 0);  // holds members already
  ASSERT_EQ(reader.EnumFileName(), 5);                       // p\ p\q\ p\q\x.txt p\x.txt p\y.log
  const std::string first = Narrow(reader.GetMember(0)->name);
  EXPECT_EQ(reader.GetNextFileName(name, static_cast<unsigned>(first.size())), -2);
  EXPECT_EQ(reader.GetNextFileNameW(name, static_cast<unsigned>(2 * first.size() + 1)), -2);
  EXPECT_EQ(reader.GetNextFileName(name, static_cast<unsigned>(first.size() + 1)), 0);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(reader.GetNextFileNameW(name, 128), i);
  EXPECT_EQ(reader.GetNextFileName(name, 64), -1);

  // A bare file name matches in any folder; a pattern with a folder must match whole.
  EXPECT_EQ(reader.ExtractFile(ydr::test::W("x.txt").c_str(), ydr::test::W("out1").c_str(), 0), 2);
  EXPECT_EQ(reader.ExtractFile(ydr::test::W("p\\q\\*").c_str(), ydr::test::W("out2").c_str(), 0),
            2);  // the folder and its file
  EXPECT_EQ(reader.ExtractFile(ydr::test::W("*.LOG").c_str(), ydr::test::W("out3").c_str(), YDR_ZIP_FLAT), 1);
  Expect(dir, "out3/y.log", "3");
  EXPECT_EQ(reader.ExtractFile(ydr::test::W("nothing").c_str(), ydr::test::W("out4").c_str(), 0), 0);
  EXPECT_EQ(reader.RemoveFileList(ydr::test::W("x.txt").c_str()), 2);
  EXPECT_EQ(reader.ExtractFile(ydr::test::W("x.txt").c_str(), ydr::test::W("out5").c_str(), 0),
            2);  // removed: counted, not written
  EXPECT_FALSE(fs::exists(dir / "out5"));
  EXPECT_EQ(reader.ExtractFileByIndex(-1, ydr::test::W("out6").c_str(), 0), 0);
  EXPECT_EQ(reader.ExtractFileByIndex(5, ydr::test::W("out6").c_str(), 0), 0);
  EXPECT_EQ(reader.ChangeFileListFlag(ydr::test::W("p\\y.log").c_str(), 9), 1);
  EXPECT_EQ(reader.ExtractFileList(ydr::test::W("out7").c_str(), 0), 0);
  EXPECT_EQ(reader.GetErrorMask(), 0x8000u);
  EXPECT_EQ(Errors(reader), (std::vector<std::pair<unsigned, std::string>>{{0x8000u, "p\\y.log"}}));

  CYdrZIP copy(reader);  // copies the lists, not the open archive
  EXPECT_EQ(copy.GetMemberCount(), 5);
  EXPECT_EQ(copy.ExtractFileList(ydr::test::W("out8").c_str(), 0), 0);
  reader.Close();
  reader.Clear();
  EXPECT_EQ(reader.GetMemberCount(), 0);
  EXPECT_EQ(reader.GetErrorMask(), 0u);

  CYdrZIP missing;
  EXPECT_EQ(missing.DecompressZIP(ydr::test::W("missing.ydz").c_str(), ydr::test::W("o").c_str(), 0), 0);
  EXPECT_EQ(missing.GetErrorMask(), 0x4000u);
  CYdrZIP too_long;
  const std::string long_name(300, 'n');
  EXPECT_EQ(Pack(too_long, {long_name, "p/x.txt"}, "l.ydz"), 0);
  EXPECT_EQ(too_long.GetMember(0)->flag, 2);  // never packed: no path buffer holds it
  EXPECT_EQ(too_long.GetMember(1)->flag, 1);
  EXPECT_EQ(too_long.GetErrorMask(), 0x2000u);
  CYdrZIP folder;
  EXPECT_EQ(Pack(folder, {"no-such-folder/", ""}, "f.ydz"), 0);
  EXPECT_EQ(Errors(folder),
            (std::vector<std::pair<unsigned, std::string>>{{0x2001u, "no-such-folder/"}, {0x2000u, ""}}));
}

// Archives built byte by byte: each member's name is what a hostile archive might say.
std::string HostileArchive(const std::vector<std::string> &names, const std::string &content) {
  std::vector<ydr::test::ArchiveMember> members;
  for (const std::string &name : names) members.emplace_back(name, 1, content);
  return ydr::test::BuildArchive(members);
}

TEST(ZipHostileTest, NothingLandsOutsideTheDestination) {
  TempDir root;
  const std::string dest = root.MakeDir("dest");
  const std::vector<std::string> names = {"../../../../../../../tmp/escape1",
                                          "..\\..\\..\\escape2",
                                          "/etc/escape3",
                                          "C:\\Windows\\escape4",
                                          "\\\\server\\share\\escape5",
                                          "a/../../../escape6",
                                          "sub/./../../escape7",
                                          std::string(300, 'n'),
                                          "ok/inside.txt"};
  root.WriteFile("h.ydz", HostileArchive(names, "payload"));
  {
    ydr::test::ScopedCurrentDirectory cwd(dest);
    CYdrZIP zip;
    zip.DecompressZIP(ydr::test::W(root / "h.ydz").c_str(), ydr::test::W(dest).c_str(), 0);
  }
  // Everything written is under dest; nothing else appeared next to it.
  std::vector<std::string> outside;
  for (const auto &entry : fs::recursive_directory_iterator(fs::u8path(root.path()))) {
    const std::string p = entry.path().u8string();
    if (p.rfind(dest, 0) != 0 && p != root / "h.ydz") outside.push_back(p);
  }
  EXPECT_TRUE(outside.empty());
  for (const char *escape : {"escape1", "escape2", "escape3", "escape4", "escape5", "escape6", "escape7"}) {
    EXPECT_FALSE(fs::exists(std::string("/tmp/") + escape));
  }
  bool found_inside = false;
  for (const auto &entry : fs::recursive_directory_iterator(fs::u8path(dest)))
    found_inside |= entry.path().filename() == "inside.txt";
  EXPECT_TRUE(found_inside);
}

TEST(ZipHostileTest, DamagedRecordsBecomeInvalidMembers) {
  TempDir dir;
  std::string archive = HostileArchive({"a.txt", "b.txt", "c.txt"}, "x");
  archive[48 + 16] = archive[48 + 17] = '\xFF';  // name length -1
  Put32(&archive, 48 + 32 + 12, 0x7FFFFFF0);     // name beyond the file
  Put32(&archive, 48 + 64 + 4, 0x7FFFFFF0);      // data beyond the file
  archive[32] = 100;                             // more members than the file holds
  dir.WriteFile("bad.ydz", archive);
  CYdrZIP zip;
  ASSERT_EQ(zip.Open(ydr::test::W(dir / "bad.ydz").c_str()), 1);
  ASSERT_LE(zip.GetMemberCount(), static_cast<int>((archive.size() - 48) / 32));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(zip.GetMember(i)->flag, 0) << i;
  // A name that cannot be read is empty; one whose block is intact is read whatever else is
  // wrong with its record (its data past the end of a cut archive, say).
  EXPECT_TRUE(zip.GetMember(0)->name.empty());
  EXPECT_TRUE(zip.GetMember(1)->name.empty());
  EXPECT_EQ(zip.GetMember(2)->name, ydr::test::W("c.txt"));
  EXPECT_EQ(zip.ExtractFileList(ydr::test::W(dir / "out").c_str(), 0), 0);
  EXPECT_EQ(zip.GetErrorMask() & 0x8000u, 0x8000u);
}

}  // namespace

#if !defined(_WIN32)
namespace {

// What a POSIX file system holds that the library's platform never did: folders named as
// files, pipes, links, names with backslashes. None may hang, loop or lose a file.
TEST(ZipPlatformTest, FoldersPipesAndTheArchiveItselfAreNeverPackedAsFiles) {
  TempDir dir;
  dir.WriteFile("e/keep.txt", "keep");
  dir.WriteFile("e/z.ydz", "the old archive");
  ASSERT_EQ(mkfifo((dir / "e/pipe").c_str(), 0600), 0);
  // A folder named without a separator is a file path: it cannot be opened as one.
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {dir / "e", dir / "e/pipe", dir / "e/keep.txt"}, dir / "a.ydz"), 0);
  ASSERT_EQ(zip.GetMemberCount(), 3);
  EXPECT_EQ(zip.GetMember(0)->flag, 2);
  EXPECT_EQ(zip.GetMember(1)->flag, 2);  // opened without waiting for a writer
  EXPECT_EQ(zip.GetMember(2)->flag, 1);
  EXPECT_EQ(zip.GetErrorMask(), 0x2000u);
  EXPECT_EQ(zip.GetErrorCount(), 2);
  CYdrZIP reader;
  EXPECT_EQ(reader.Open(ydr::test::W(dir / "e").c_str()), 0);
  EXPECT_EQ(reader.GetErrorMask(), 0x4000u);
  CYdrZIP whole;
  EXPECT_EQ(whole.DecompressZIP(ydr::test::W(dir / "e").c_str(), ydr::test::W(dir / "out").c_str(), 0), 0);
  EXPECT_EQ(whole.GetErrorMask(), 0x4000u);

  // The archive being written, inside the folder packed, is not one of its members.
  CYdrZIP self;
  EXPECT_EQ(Pack(self, {dir / "e/"}, dir / "e/z.ydz"), 1);
  for (const std::string &name : Names(self)) EXPECT_EQ(name.find("z.ydz"), std::string::npos) << name;
  EXPECT_EQ(Names(self).size(), 2u);  // e/ and e/keep.txt: the pipe is not listed
}

TEST(ZipPlatformTest, LinkedFoldersAreWalkedOnceAndBackslashNamesAreNotListed) {
  TempDir dir;
  for (int i = 0; i < 12; ++i) {
    dir.WriteFile("t/l" + std::to_string(i) + "/f", std::to_string(i));
    if (i > 0) {
      for (const char *link : {"/a", "/b"}) {
        fs::create_directory_symlink(dir / ("t/l" + std::to_string(i)), dir / ("t/l" + std::to_string(i - 1) + link));
      }
    }
  }
  dir.WriteFile("t/back\\slash", "would come back as back/slash");
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {dir / "t/"}, dir / "t.ydz"), 1);
  EXPECT_LT(zip.GetMemberCount(), 40);  // 2^12 walks without the rule
  for (const std::string &name : Names(zip)) EXPECT_EQ(name.find("back"), std::string::npos) << name;
}

// DecompressZIP with a destination: links and pipes already inside it are never written
// through or opened, the other members are unpacked.
TEST(ZipPlatformTest, PlantedLinksAndPipesInTheDestinationAreNotFollowed) {
  TempDir dir;
  const std::string outside = dir.MakeDir("outside");
  const std::string secret = dir.WriteFile("outside/secret.txt", "keep me");
  const std::string dest = dir.MakeDir("dest");
  std::string base;
  {
    // Stored names are taken in absolute form: plant the links where they will land.
    ydr::test::ScopedCurrentDirectory cwd(dir.path());
    base = dest + fs::current_path().string();
  }
  fs::create_directories(base);
  fs::create_directory_symlink(outside, base + "/linked");
  fs::create_symlink(secret, base + "/file-link.txt");
  ASSERT_EQ(mkfifo((base + "/pipe.txt").c_str(), 0600), 0);
  dir.WriteFile("h.ydz",
                HostileArchive({"linked\\new.txt", "linked\\secret.txt", "file-link.txt", "pipe.txt", "ok.txt"}, "x"));
  ydr::test::ScopedCurrentDirectory cwd(dir.path());
  CYdrZIP zip;
  EXPECT_EQ(zip.DecompressZIP(ydr::test::W("h.ydz").c_str(), ydr::test::W(dest).c_str(), 0), 0);
  EXPECT_EQ(ReadFile(secret), "keep me");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_symlink(base + "/file-link.txt"));
  EXPECT_TRUE(fs::is_fifo(base + "/pipe.txt"));
  EXPECT_EQ(ReadFile(base + "/ok.txt"), "x");
  EXPECT_EQ(zip.GetErrorMask(), 0x8001u | 0x8004u);
  EXPECT_EQ(zip.GetErrorCount(), 4);
}

// An existing file at a member's path is replaced, as hosts expect, but as a name: a hard
// link planted there to a file elsewhere never carries the member's bytes out, whether the
// members go below a destination or to their own (absolute) names.
TEST(ZipPlatformTest, ExistingFilesAreReplacedNeverWrittenThrough) {
  TempDir dir;
  const std::string secret = dir.WriteFile("outside/secret.txt", "keep me");
  dir.WriteFile("h.ydz", HostileArchive({"hard.txt", "old.txt", "new.txt"}, "member"));
  for (const bool below_destination : {true, false}) {
    SCOPED_TRACE(below_destination ? "below a destination" : "at their own names");
    const std::string work = dir.MakeDir(below_destination ? "work1" : "work2");
    const std::string dest = below_destination ? dir.MakeDir("dest") : "";
    std::string base;
    {
      // Stored names are taken in absolute form: plant the links where they will land.
      ydr::test::ScopedCurrentDirectory cwd(work);
      base = dest + fs::current_path().string();
    }
    fs::create_directories(base);
    fs::create_hard_link(secret, base + "/hard.txt");
    { std::ofstream(base + "/old.txt") << "old"; }
    ydr::test::ScopedCurrentDirectory cwd(work);
    CYdrZIP zip;
    EXPECT_EQ(zip.DecompressZIP(ydr::test::W(dir / "h.ydz").c_str(), ydr::test::W(dest).c_str(), 0), 1);
    EXPECT_EQ(ReadFile(secret), "keep me");
    for (const char *name : {"hard.txt", "old.txt", "new.txt"}) {
      EXPECT_EQ(ReadFile(base + "/" + name), "member") << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 3);  // no temporary left
  }
}

}  // namespace
#endif

#if defined(_WIN32)
// Folder links (symbolic links, junctions) are listed by the system's search like folders
// and walked: one that leads aside brings its folder in, and one that leads back up the tree
// makes a loop, which the walk breaks by telling the folder it has walked by its identity.
TEST(ZipPlatformTest, FolderLinksAreWalkedAndALoopOnlyOnce) {
  TempDir dir;
  dir.WriteFile("t/sub/f.txt", "once");
  dir.WriteFile("other/o.txt", "aside");
  for (const auto &[link, target] : {std::pair{"t/sub/up", "t"}, std::pair{"t/aside", "other"}}) {
    const std::wstring link_path = std::filesystem::u8path(dir / link).wstring();
    // Some systems (wine among them) may say a link was made and leave nothing there.
    if (!CreateSymbolicLinkW(link_path.c_str(), std::filesystem::u8path(dir / target).wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        GetFileAttributesW(link_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "this system makes no folder links here";
    }
  }
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {dir / "t/"}, dir / "t.ydz"), 1);
  const std::vector<std::string> names = Names(zip);
  for (const char *file : {"f.txt", "o.txt"}) {
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [&](const std::string &name) { return name.find(file) != std::string::npos; }),
              1)
        << file;
  }
}
#endif

namespace {

TEST(ZipFormatTest, ANameRunsToItsFirstZeroWithinLengthPlusOneUnits) {
  TempDir dir;
  std::string archive = HostileArchive({"abcd", "efgh"}, "x");
  // Record 0 says three units: the fourth unit, where the terminator would be, still counts.
  archive[48 + 16] = 3;
  // Record 1 says four units, but a zero unit comes after two.
  const std::uint32_t second = Get32(archive, 48 + 32 + 12);
  archive[second + 4] = 0;
  archive[second + 5] = 0;
  dir.WriteFile("n.ydz", archive);
  CYdrZIP zip;
  ASSERT_EQ(zip.Open(ydr::test::W(dir / "n.ydz").c_str()), 1);
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"abcd", "ef"}));
}

}  // namespace
