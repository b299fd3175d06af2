// The archive core CYdrZIP and the command share: name folding, data ranges, streams, the 4 GiB limit.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "portable/utf16.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "ydr/zip.h"
#include "zip/archive_index.h"
#include "zip/archive_layout.h"
#include "zip/member_path.h"
#include "zip/member_stream.h"

namespace ydr::zip {
namespace {

namespace fs = std::filesystem;

TEST(MemberPathTest, NamesFoldBelowTheDestination) {
  struct Case {
    const char *name;
    std::vector<std::string> path, flat;
  };
  const Case cases[] = {
      {"d2\\f.txt", {"d2", "f.txt"}, {"f.txt"}},
      {"/abs/g", {"abs", "g"}, {"g"}},
      {"C:\\w\\h", {"w", "h"}, {"h"}},
      {"c:rel", {"rel"}, {"rel"}},
      {"../../x", {"x"}, {"x"}},
      {"a/./b/../c", {"a", "c"}, {"c"}},
      {"\\\\server\\share\\j", {"server", "share", "j"}, {"j"}},
      {"dir\\", {"dir"}, {"dir"}},
      {"..\\", {}, {}},
      {"", {}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FoldedMemberPath(portable::WideFromUtf8(c.name), false), c.path);
    EXPECT_EQ(FoldedMemberPath(portable::WideFromUtf8(c.name), true), c.flat);
  }
}

ArchiveIndex IndexOf(const std::string &bytes) {
  std::FILE *file = test::OpenBytes(bytes);
  ArchiveIndex index;
  EXPECT_EQ(ReadIndex(file, &index), IndexStatus::kOk);
  std::fclose(file);
  return index;
}

// The check before decoding must not stop at the first member that is cut off or shared.
TEST(ArchiveIndexTest, EveryMembersDataArePlaced) {
  constexpr auto kNone = DataPlace::kNone, kInside = DataPlace::kInside, kCut = DataPlace::kCutOff,
                 kShared = DataPlace::kShared;
  struct Range {
    std::uint8_t flag;
    std::uint32_t offset, length;
  };
  struct Case {
    const char *what;
    std::vector<Range> members;
    std::vector<DataPlace> places;
  };
  constexpr std::uint64_t kSize = 1000;
  const Case cases[] = {
      {"apart, with a folder", {{1, 100, 50}, {3, 0, 0}, {1, 150, 50}}, {kInside, kNone, kInside}},
      {"out of archive order", {{1, 300, 100}, {1, 100, 200}}, {kInside, kInside}},
      {"one start", {{1, 100, 50}, {1, 100, 50}}, {kShared, kShared}},
      {"the second starts inside the first", {{1, 100, 50}, {1, 149, 10}}, {kShared, kShared}},
      {"two inside a third",
       {{1, 100, 100}, {1, 120, 10}, {1, 190, 5}, {1, 200, 10}},
       {kShared, kShared, kShared, kInside}},
      {"empty ranges at one start", {{1, 100, 0}, {1, 100, 0}}, {kShared, kShared}},
      {"an empty range inside another", {{1, 100, 100}, {1, 150, 0}}, {kShared, kShared}},
      {"up to the end, and one past it claiming those bytes", {{1, 900, 100}, {1, 100, 901}}, {kShared, kCut}},
      {"a member inside a cut one's bytes", {{1, 100, 5000}, {1, 200, 80}}, {kCut, kShared}},
      {"cut short after the last whole member", {{1, 100, 50}, {1, 150, 2000}}, {kInside, kCut}},
      {"a cut member before shared ones",
       {{1, 48, 0xFFFFFFFF}, {1, 200, 80}, {1, 200, 80}, {1, 200, 80}},
       {kCut, kShared, kShared, kShared}},
      {"shared ones before a cut member", {{1, 200, 80}, {1, 200, 80}, {1, 999, 2}}, {kShared, kShared, kCut}},
      {"records of unpacked members are not ranges",
       {{2, 100, 50}, {4, 100, 50}, {0, 100, 50}, {1, 100, 50}},
       {kNone, kNone, kNone, kInside}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ArchiveIndex index;
    index.file_size = kSize;
    for (const Range &r : c.members) index.members.push_back({r.flag, r.offset, r.length, 0, Name()});
    EXPECT_EQ(PlaceData(index), c.places);
  }
}

TEST(ArchiveIndexTest, DataStartingPastTheEndMakeAMemberInvalidAndCutOff) {
  const std::string fine = test::BuildArchive({{"a", 1, "alpha"}, {"d\\", 3, ""}, {"b", 1, "bravo"}});
  const ArchiveIndex index = IndexOf(fine.substr(0, test::Get32(fine, 48 + 64 + 4)));
  EXPECT_EQ(index.members[2].flag, kFlagInvalid);
  EXPECT_EQ(PlaceData(index), (std::vector<DataPlace>{DataPlace::kInside, DataPlace::kNone, DataPlace::kCutOff}));
  EXPECT_EQ(PlaceData(IndexOf(fine.substr(0, fine.size() - 3)))[2], DataPlace::kCutOff);
}

struct Unpacked {
  StreamStatus status;
  std::string data;
};

Unpacked Unpack(const std::string &bytes, UnpackRange range, bool check_trailer = true) {
  std::FILE *file = test::OpenBytes(bytes);
  Unpacked out;
  out.status = UnpackStream(file, range, check_trailer, [&](const void *d, std::size_t n) {
    out.data.append(static_cast<const char *>(d), n);
    return true;
  });
  std::fclose(file);
  return out;
}

TEST(MemberStreamTest, EachKindOfDamageHasItsName) {
  const std::string text(30000, 't');
  const std::string stream = test::MemberStream(text);
  const std::uint64_t size = stream.size();
  const Unpacked whole = Unpack(stream, {0, size});
  EXPECT_EQ(whole.status, StreamStatus::kOk);
  EXPECT_EQ(whole.data, text);
  std::string mismatch = stream;
  mismatch[size - 2] ^= 1;  // the length
  EXPECT_EQ(Unpack(mismatch, {0, size}).status, StreamStatus::kTrailerMismatch);
  EXPECT_EQ(Unpack(mismatch, {0, size}, false).status, StreamStatus::kOk);  // the class does not look
  std::string corrupt = stream;
  corrupt[0] = static_cast<char>(0xFF);
  EXPECT_EQ(Unpack(corrupt, {0, size}).status, StreamStatus::kCorrupt);
  // A record shorter than its stream: nothing is read past the range.
  EXPECT_EQ(Unpack(stream + stream, {0, size - 9}).status, StreamStatus::kCorrupt);
  EXPECT_EQ(Unpack(stream, {0, size - 4}).status, StreamStatus::kTrailerMismatch);
  // The empty file's stream as packing writes it is not damaged.
  const std::string empty("\x03\x00\x03\x00\0\0\0\0\0\0\0\0", 12);
  EXPECT_EQ(Unpack(empty, {0, 12}).status, StreamStatus::kOk);
  EXPECT_EQ(Unpack(empty + "x", {0, 13}).status, StreamStatus::kTrailerMismatch);
  std::FILE *file = test::OpenBytes(stream);
  EXPECT_EQ(UnpackStream(file, {0, size}, true, [](const void *, std::size_t) { return false; }),
            StreamStatus::kSinkFailed);
  std::fclose(file);
}

TEST(MemberStreamTest, AMemberPastTheLimitIsTakenBack) {
  test::TempDir dir;
  const std::string big(200000, 'b'), small = "small";
  std::string noise(50000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251 ^ (i >> 3));
  const std::string archive_path = dir / "limit.ydz";
  std::FILE *archive = ydr::platform::OpenStream(archive_path, "w+b");
  const auto pack = [&](const std::string &data, std::uint64_t limit, PackedMember *member) {
    std::FILE *source = test::OpenBytes(data);
    const PackStatus status = PackStream(archive, source, member, limit);
    std::fclose(source);
    return status;
  };
  PackedMember first, refused, second;
  ASSERT_EQ(pack(small, 1000, &first), PackStatus::kOk);
  const long after_first = std::ftell(archive);
  EXPECT_EQ(pack(noise, 1000, &refused), PackStatus::kTooLarge);
  EXPECT_EQ(std::ftell(archive), after_first);  // back where the refused member began
  ASSERT_EQ(pack(small, 1000, &second), PackStatus::kOk);
  EXPECT_EQ(second.data_offset, static_cast<std::uint32_t>(after_first));
  std::fclose(archive);

#if !defined(_WIN32)  // a failing write is reported
  char room[64];
  std::FILE *tiny = fmemopen(room, sizeof room, "w+b");
  std::setvbuf(tiny, nullptr, _IONBF, 0);
  std::FILE *source = fmemopen(const_cast<char *>(big.data()), big.size(), "rb");
  PackedMember lost;
  EXPECT_EQ(PackStream(tiny, source, &lost), PackStatus::kWriteFailed);
  std::fclose(source);
  std::fclose(tiny);
#endif
}

// One tree, the same bytes from both, '\' throughout; a pipe, link loops and the archive left out alike.
TEST(ArchiveWriterTest, TheCommandAndTheClassWriteTheSameArchive) {
  if (YDR_STRICT_BASE_LIBRARY) GTEST_SKIP() << "the command lists folders in the order the shipped base library does";
  test::TempDir dir;
  dir.WriteFile("tree/a.txt", std::string(10000, 'a') + "end");
  dir.WriteFile("tree/sub/b.bin", std::string("\x00\x01\x02", 3));
  dir.WriteFile("tree/sub/deeper/한글.txt", "한국어");
  dir.WriteFile("tree/empty", "");
  dir.WriteFile("tree/out.ydz", "an archive from before");
  dir.MakeDir("tree/nothing");
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo((dir / "tree/pipe").c_str(), 0600), 0);
  // Twelve folders, each linking twice to the next: walked once each, not 2^12 times.
  for (int i = 0; i < 12; ++i) {
    const std::string folder = "tree/nothing/l" + std::to_string(i);
    dir.WriteFile(folder + "/f", std::to_string(i));
    for (const char *link : {"/a", "/b"}) {
      if (i > 0) fs::create_directory_symlink(dir / folder, dir / ("tree/nothing/l" + std::to_string(i - 1) + link));
    }
  }
#endif
  std::vector<std::pair<std::vector<std::string>, std::vector<YdrWString>>> cases = {
      {{"tree"}, {test::W("tree\\")}},
      {{"tree/"}, {test::W("tree\\")}},
      {{"./tree/sub", "tree/a.txt"}, {test::W(".\\tree\\sub\\"), test::W("tree\\a.txt")}},
      {{"tree/sub/deeper", "tree"}, {test::W("tree\\sub\\deeper\\"), test::W("tree\\")}},
  };
#if !defined(_WIN32)
  // l1, walked for the first path, is left out where the second's links reach it.
  cases.push_back(
      {{"tree/nothing/l1", "tree/nothing/l0"}, {test::W("tree\\nothing\\l1\\"), test::W("tree\\nothing\\l0\\")}});
#endif
  test::ScopedCurrentDirectory cwd(dir.path());
  for (auto [command, library] : cases) {
    SCOPED_TRACE(command.front());
    CYdrZIP zip;
    ASSERT_EQ(zip.CompressZIP(library, test::W("tree/out.ydz").c_str()), 1);
    EXPECT_LT(zip.GetMemberCount(), 60);
    const std::string bytes = test::ReadFile(dir / "tree/out.ydz");
    std::vector<std::string> argv = {YDR_TOOL, "pack", "-f", "tree/out.ydz"};
    argv.insert(argv.end(), command.begin(), command.end());
    const auto result = test::RunProcess(argv, {}, "", dir.path());
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(bytes == test::ReadFile(dir / "tree/out.ydz"));
    for (const MemberRecord &m : IndexOf(bytes).members) {
      EXPECT_EQ(portable::Utf8FromWide(m.name).find("out.ydz"), std::string::npos);  // never a member of itself
    }
  }
}

}  // namespace
}  // namespace ydr::zip
