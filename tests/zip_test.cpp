// CYdrZIP as hosts load it: the archive's bytes, round trips, result and error codes, hostile archives.
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
#include <tuple>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/memory_streams.h"
#include "tests/support/temp_dir.h"
#include "ydr/gz.h"
#include "ydr/zip.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ArchiveMember;
using ydr::test::Get32;
using ydr::test::ReadFile;
using ydr::test::TempDir;
using ydr::test::TreeBelow;
using ydr::test::W;
using Errors = std::vector<std::pair<unsigned, std::string>>;

std::string Narrow(const YdrWString &w) { return ydr::portable::Utf8FromWide(w.c_str()); }

int Pack(CYdrZIP &zip, const std::vector<std::string> &paths, const std::string &archive) {
  std::vector<YdrWString> wide;
  for (const std::string &p : paths) wide.push_back(W(p));
  return zip.CompressZIP(wide, W(archive).c_str());
}

// Each member as "flag name".
std::vector<std::string> Members(const CYdrZIP &zip) {
  std::vector<std::string> members;
  for (int i = 0; i < zip.GetMemberCount(); ++i)
    members.push_back(std::to_string(zip.GetMember(i)->flag) + " " + Narrow(zip.GetMember(i)->name));
  return members;
}

Errors ErrorList(const CYdrZIP &zip) {
  Errors errors;
  for (int i = 0; i < zip.GetErrorCount(); ++i)
    errors.emplace_back(zip.GetError(i)->code, Narrow(zip.GetError(i)->name));
  return errors;
}

// Each member's name is what a hostile archive might say.
std::string HostileArchive(const std::vector<std::string> &names, const std::string &content) {
  std::vector<ArchiveMember> members;
  for (const std::string &name : names) members.emplace_back(name, 1, content);
  return ydr::test::BuildArchive(members);
}

// Header, records, names, then each packed member's stream as the stream compressor writes it;
// an archive is refused by its signature, not by the fields after it.
TEST(ZipFormatTest, ArchivesAreLaidOutByteForByte) {
  TempDir dir;
  const std::string content(5000, 'x');
  dir.WriteFile("tree/f.txt", content);
  dir.MakeDir("tree/empty");
  CYdrZIP empty, zip;
  EXPECT_EQ(Pack(empty, {}, dir / "empty.ydz"), 1);
  EXPECT_EQ(ReadFile(dir / "empty.ydz"), "YdrZip 1.0\r\n\x1a" + std::string(23, '\0') + '\x01' + std::string(11, '\0'));
  // A folder, a missing file, and a file: only the last has data.
  EXPECT_EQ(Pack(zip, {dir / "tree/empty/", dir / "missing.txt", dir / "tree/f.txt"}, dir / "a.ydz"), 0);
  EXPECT_EQ(zip.GetErrorMask(), 0x2000u);
  EXPECT_EQ(ErrorList(zip), (Errors{{0x2000u, dir / "missing.txt"}}));
  std::string stream;  // the file's, as the stream compressor writes it
  YDRGZ writer = YdrGZOpenWrite(ydr::test::AppendToBytes, &stream);
  YdrGZWrite(writer, content.data(), static_cast<int>(content.size()));
  YdrGZWrite(writer, content.data(), 0);
  YdrGZCloseWrite(writer);
  const std::string bytes = ReadFile(dir / "a.ydz");
  EXPECT_EQ(bytes, ydr::test::BuildArchive({{dir / "tree/empty/", 3, ""},
                                            {dir / "missing.txt", 2, ""},
                                            ArchiveMember::Raw(dir / "tree/f.txt", stream)}));
  for (const auto &[offset, value, readable] : {std::tuple{12, '\x1b', false}, std::tuple{20, '\x01', false},
                                                std::tuple{36, '\x07', true}, std::tuple{40, '\x01', true}}) {
    SCOPED_TRACE(offset);
    std::string damaged = bytes;
    damaged[offset] = value;
    dir.WriteFile("d.ydz", damaged);
    CYdrZIP reader;
    EXPECT_EQ(reader.Open(W(dir / "d.ydz").c_str()), readable ? 1 : 0);
    EXPECT_EQ(reader.GetMemberCount(), readable ? 3 : 0);
    EXPECT_EQ(reader.GetErrorMask(), readable ? 0u : 0x4001u);
  }
}

// Lying records (name length -1, name or data past the end, too many members) make invalid members.
TEST(ZipFormatTest, DamagedRecordsBecomeInvalidMembersAndNamesEndAtTheirFirstZero) {
  TempDir dir;
  std::string archive = HostileArchive({"a.txt", "b.txt", "c.txt"}, "x");
  archive[48 + 16] = archive[48 + 17] = '\xFF';
  ydr::test::Put32(&archive, 48 + 32 + 12, 0x7FFFFFF0);
  ydr::test::Put32(&archive, 48 + 64 + 4, 0x7FFFFFF0);
  archive[32] = 100;
  dir.WriteFile("bad.ydz", archive);
  CYdrZIP zip;
  ASSERT_EQ(zip.Open(W(dir / "bad.ydz").c_str()), 1);
  ASSERT_LE(zip.GetMemberCount(), static_cast<int>((archive.size() - 48) / 32));
  // A name whose block is intact is read whatever else is wrong with its record.
  std::vector<std::string> members = Members(zip);
  members.resize(3);
  EXPECT_EQ(members, (std::vector<std::string>{"0 ", "0 ", "0 c.txt"}));
  EXPECT_EQ(zip.ExtractFileList(W(dir / "out").c_str(), 0), 0);
  EXPECT_EQ(zip.GetErrorMask() & 0x8000u, 0x8000u);

  archive = HostileArchive({"abcd", "efgh"}, "x");
  archive[48 + 16] = 3;  // a name ends at its first zero within its length plus one units
  const std::uint32_t second = Get32(archive, 48 + 32 + 12);
  archive[second + 4] = archive[second + 5] = 0;  // four units said, a zero after two
  dir.WriteFile("n.ydz", archive);
  CYdrZIP cut_names;
  ASSERT_EQ(cut_names.Open(W(dir / "n.ydz").c_str()), 1);
  EXPECT_EQ(Members(cut_names), (std::vector<std::string>{"1 abcd", "1 ef"}));
}

TEST(ZipRoundTripTest, FolderTreesComeBackWhole) {
  TempDir src, out, flat;
  std::string binary(3 << 20, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 13);
  src.WriteFile("root/a.txt", "alpha\n");
  src.WriteFile("root/sub/b b.txt", "bravo\n");
  src.WriteFile("root/sub/deeper/한글.txt", "한국어\n");
  src.WriteFile("root/zero", "");
  src.WriteFile("root/bin.dat", binary);
  src.MakeDir("root/empty");
  ydr::test::ScopedCurrentDirectory cwd(src.path());
  CYdrZIP zip;
  ASSERT_EQ(Pack(zip, {"root/"}, "tree.ydz"), 1);
  EXPECT_EQ(zip.GetMemberCount(), 9);
  CYdrZIP reader;
  ASSERT_EQ(reader.DecompressZIP(W("tree.ydz").c_str(), W(out.path()).c_str(), 0), 1);
  EXPECT_EQ(Members(reader), Members(zip));
  const std::string base = out / fs::current_path().relative_path().u8string();  // stored names are made absolute
  EXPECT_EQ(TreeBelow(base),
            (std::vector<std::string>{"root/", "root/a.txt=alpha\n", "root/bin.dat=" + binary, "root/empty/",
                                      "root/sub/", "root/sub/b b.txt=bravo\n", "root/sub/deeper/",
                                      "root/sub/deeper/한글.txt=한국어\n", "root/zero="}));
  CYdrZIP flat_reader;
  ASSERT_EQ(flat_reader.DecompressZIP(W("tree.ydz").c_str(), W(flat.path() + "/").c_str(), YDR_ZIP_FLAT), 1);
  EXPECT_EQ(TreeBelow(flat.path()), (std::vector<std::string>{"a.txt=alpha\n", "b b.txt=bravo\n", "bin.dat=" + binary,
                                                              "zero=", "한글.txt=한국어\n"}));
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

  CYdrZIP reader;
  ASSERT_EQ(reader.Open(W("p.ydz").c_str()), 1);
  EXPECT_EQ(reader.Open(W("p.ydz").c_str()), 0);  // holds members already
  ASSERT_EQ(reader.EnumFileName(), 5);            // p\ p\q\ p\q\x.txt p\x.txt p\y.log
  const unsigned first = static_cast<unsigned>(reader.GetMember(0)->name.size());
  EXPECT_EQ(reader.GetNextFileName(name, first), -2);
  EXPECT_EQ(reader.GetNextFileNameW(name, 2 * first + 1), -2);
  EXPECT_EQ(reader.GetNextFileName(name, first + 1), 0);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(reader.GetNextFileNameW(name, 128), i);
  EXPECT_EQ(reader.GetNextFileName(name, 64), -1);

  // A bare file name matches in any folder; a pattern with a folder must match whole.
  EXPECT_EQ(reader.ExtractFile(W("x.txt").c_str(), W("out1").c_str(), 0), 2);
  EXPECT_EQ(reader.ExtractFile(W("p\\q\\*").c_str(), W("out2").c_str(), 0), 2);  // the folder and its file
  EXPECT_EQ(reader.ExtractFile(W("*.LOG").c_str(), W("out3").c_str(), YDR_ZIP_FLAT), 1);
  EXPECT_EQ(TreeBelow(dir / "out3"), std::vector<std::string>{"y.log=3"});
  EXPECT_EQ(reader.ExtractFile(W("nothing").c_str(), W("out4").c_str(), 0), 0);
  EXPECT_EQ(reader.RemoveFileList(W("x.txt").c_str()), 2);
  EXPECT_EQ(reader.ExtractFile(W("x.txt").c_str(), W("out5").c_str(), 0), 2);  // removed: counted, not written
  EXPECT_FALSE(fs::exists(dir / "out5"));
  EXPECT_EQ(reader.ExtractFileByIndex(-1, W("out6").c_str(), 0), 0);
  EXPECT_EQ(reader.ExtractFileByIndex(5, W("out6").c_str(), 0), 0);
  EXPECT_EQ(reader.ChangeFileListFlag(W("p\\y.log").c_str(), 9), 1);
  EXPECT_EQ(reader.ExtractFileList(W("out7").c_str(), 0), 0);
  EXPECT_EQ(reader.GetErrorMask(), 0x8000u);
  EXPECT_EQ(ErrorList(reader), (Errors{{0x8000u, "p\\y.log"}}));

  CYdrZIP copy(reader);  // copies the lists, not the open archive
  EXPECT_EQ(copy.GetMemberCount(), 5);
  EXPECT_EQ(copy.ExtractFileList(W("out8").c_str(), 0), 0);
  reader.Close();
  reader.Clear();
  EXPECT_EQ(reader.GetMemberCount(), 0);
  EXPECT_EQ(reader.GetErrorMask(), 0u);

  CYdrZIP missing;
  EXPECT_EQ(missing.DecompressZIP(W("missing.ydz").c_str(), W("o").c_str(), 0), 0);
  EXPECT_EQ(missing.GetErrorMask(), 0x4000u);
  CYdrZIP too_long;
  EXPECT_EQ(Pack(too_long, {std::string(300, 'n'), "p/x.txt"}, "l.ydz"), 0);
  EXPECT_EQ(Members(too_long), (std::vector<std::string>{"2 " + std::string(300, 'n'), "1 p/x.txt"}));
  EXPECT_EQ(too_long.GetErrorMask(), 0x2000u);
  CYdrZIP folder;
  EXPECT_EQ(Pack(folder, {"no-such-folder/", ""}, "f.ydz"), 0);
  EXPECT_EQ(ErrorList(folder), (Errors{{0x2001u, "no-such-folder/"}, {0x2000u, ""}}));
}

TEST(ZipHostileTest, NothingLandsOutsideTheDestination) {
  TempDir root;
  const std::string dest = root.MakeDir("dest");
  // Each way out once; the core's fold is checked rule by rule in MemberPathTest.
  root.WriteFile("h.ydz",
                 HostileArchive({"../../../../../../../tmp/escape1", "..\\..\\..\\escape2", "/tmp/escape3",
                                 "a/../../../escape4", "C:\\Windows\\escape5", std::string(300, 'n'), "ok/inside.txt"},
                                "payload"));
  ydr::test::ScopedCurrentDirectory cwd(dest);
  CYdrZIP zip;
  EXPECT_EQ(zip.DecompressZIP(W(root / "h.ydz").c_str(), W(dest).c_str(), 0), 0);
  EXPECT_EQ(ErrorList(zip), (Errors{{0x8000u, ""}}));  // the name too long to read
  bool found_inside = false;
  for (const auto &entry : fs::recursive_directory_iterator(fs::u8path(root.path()))) {
    const std::string p = entry.path().u8string();
    EXPECT_TRUE(p.rfind(dest, 0) == 0 || p == root / "h.ydz") << p;
    found_inside |= entry.path().filename() == "inside.txt";
  }
  EXPECT_TRUE(found_inside);
  for (int i = 1; i <= 5; ++i) EXPECT_FALSE(fs::exists("/tmp/escape" + std::to_string(i)));
}

}  // namespace

#if !defined(_WIN32)
namespace {

// Folders named as files, pipes, backslash names, links back up: never packed as files, never opened as archives.
TEST(ZipPlatformTest, FoldersPipesAndBackslashNamesAreNeverPackedAsFiles) {
  TempDir dir;
  dir.WriteFile("e/keep.txt", "keep");
  dir.WriteFile("e/back\\slash", "would come back as back/slash");
  ASSERT_EQ(mkfifo((dir / "e/pipe").c_str(), 0600), 0);
  fs::create_directory_symlink(".", dir / "e/self");  // a loop, left out by the folder's identity
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {dir / "e", dir / "e/pipe", dir / "e/keep.txt"}, dir / "a.ydz"), 0);
  // The pipe is opened without waiting for a writer.
  EXPECT_EQ(Members(zip),
            (std::vector<std::string>{"2 " + dir / "e", "2 " + dir / "e/pipe", "1 " + dir / "e/keep.txt"}));
  EXPECT_EQ(zip.GetErrorMask(), 0x2000u);
  EXPECT_EQ(zip.GetErrorCount(), 2);
  for (const std::string archive : {"e", "e/pipe"}) {
    SCOPED_TRACE(archive);
    CYdrZIP reader, unpacker;
    EXPECT_EQ(reader.Open(W(dir / archive).c_str()), 0);
    EXPECT_EQ(reader.GetErrorMask(), 0x4000u);
    EXPECT_EQ(unpacker.DecompressZIP(W(dir / archive).c_str(), W(dir / "out").c_str(), 0), 0);
    EXPECT_EQ(unpacker.GetErrorMask(), 0x4000u);
  }
  CYdrZIP walked;  // nor is the pipe, the backslash name or the archive itself taken from a folder
  EXPECT_EQ(Pack(walked, {dir / "e/"}, dir / "e/b.ydz"), 1);
  EXPECT_EQ(Members(walked), (std::vector<std::string>{"3 " + dir / "e/", "1 " + dir / "e/keep.txt"}));
}

// A file is replaced as a name, never through a hard link; planted links and pipes are never written through.
TEST(ZipPlatformTest, PlantedLinksPipesAndFilesAreNeverWrittenThrough) {
  TempDir dir;
  const std::string outside = dir.MakeDir("outside");
  const std::string secret = dir.WriteFile("outside/secret.txt", "keep me");
  dir.WriteFile("h.ydz", HostileArchive({"linked\\new.txt", "linked\\secret.txt", "file-link.txt", "pipe.txt",
                                         "hard.txt", "old.txt", "new.txt"},
                                        "member"));
  // What is at the members' paths after: planted links and pipes as they were, files replaced.
  const std::vector<std::string> planted = {"file-link.txt@", "hard.txt=member", "linked@",
                                            "new.txt=member", "old.txt=member",  "pipe.txt|"};
  const std::vector<std::string> written = {"file-link.txt=member",  "hard.txt=member",          "linked/",
                                            "linked/new.txt=member", "linked/secret.txt=member", "new.txt=member",
                                            "old.txt=member",        "pipe.txt=member"};
  for (const bool below_destination : {true, false}) {
    SCOPED_TRACE(below_destination ? "below a destination" : "at their own names");
    const std::string work = dir.MakeDir(below_destination ? "work1" : "work2");
    const std::string dest = below_destination ? dir.MakeDir("dest") : "";
    const std::string base = dest + fs::canonical(work).string();  // stored names land in absolute form
    fs::create_directories(base);
    if (below_destination) {
      fs::create_directory_symlink(outside, base + "/linked");
      fs::create_symlink(secret, base + "/file-link.txt");
      ASSERT_EQ(mkfifo((base + "/pipe.txt").c_str(), 0600), 0);
    }
    fs::create_hard_link(secret, base + "/hard.txt");
    { std::ofstream(base + "/old.txt") << "old"; }
    ydr::test::ScopedCurrentDirectory cwd(work);
    CYdrZIP zip;
    EXPECT_EQ(zip.DecompressZIP(W(dir / "h.ydz").c_str(), W(dest).c_str(), 0), below_destination ? 0 : 1);
    EXPECT_EQ(zip.GetErrorMask(), below_destination ? 0x8001u | 0x8004u : 0u);
    EXPECT_EQ(zip.GetErrorCount(), below_destination ? 4 : 0);
    EXPECT_EQ(TreeBelow(outside), std::vector<std::string>{"secret.txt=keep me"});
    EXPECT_EQ(TreeBelow(base), below_destination ? planted : written);  // no temporary left
  }
}

}  // namespace
#endif

#if defined(_WIN32)
// A folder link aside is walked; one back up makes a loop, broken by the folders' identities.
TEST(ZipPlatformTest, FolderLinksAreWalkedAndALoopOnlyOnce) {
  TempDir dir;
  dir.WriteFile("t/sub/f.txt", "once");
  dir.WriteFile("other/o.txt", "aside");
  for (const auto &[link, target] : {std::pair{"t/sub/up", "t"}, std::pair{"t/aside", "other"}}) {
    const std::wstring link_path = fs::u8path(dir / link).wstring();
    // Some systems (wine among them) may say a link was made and leave nothing there.
    if (!CreateSymbolicLinkW(link_path.c_str(), fs::u8path(dir / target).wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        GetFileAttributesW(link_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "this system makes no folder links here";
    }
  }
  CYdrZIP zip;
  EXPECT_EQ(Pack(zip, {dir / "t/"}, dir / "t.ydz"), 1);
  const std::vector<std::string> names = Members(zip);
  for (const char *file : {"f.txt", "o.txt"}) {
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [&](const std::string &name) { return name.find(file) != std::string::npos; }),
              1)
        << file;
  }
}
#endif
