// ydr unpack and ydr test against archives whose records lie: members that share data,
// members cut off by the end of the file, and members whose names land on one path. What
// must hold: nothing is unpacked from an archive whose members share data, no file is
// replaced that the run did not find there at its start, the first of two members on one
// path is kept and the second named, and test says what unpack would refuse.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ArchiveMember;
using ydr::test::BuildArchive;
using ydr::test::Count;
using ydr::test::Get32;
using ydr::test::PathsBelow;
using ydr::test::ProcessResult;
using ydr::test::Put32;
using ydr::test::ReadFile;
using ydr::test::TempDir;
using ydr::test::Ydr;

// Where member `i`'s record keeps its data offset and length.
std::size_t OffsetField(std::size_t i) { return 48 + 32 * i + 4; }
std::size_t LengthField(std::size_t i) { return 48 + 32 * i + 8; }

// Records 0..`sharing`-1 after `first` all point at one stream of `content`; record `first`
// - 1, when there is one, is a member whose length runs far past the end of the file.
std::string SharingArchive(int cut_members, int sharing, const std::string &content) {
  std::vector<ArchiveMember> members;
  for (int i = 0; i < cut_members; ++i) members.push_back({"cut" + std::to_string(i), 1, "c"});
  for (int i = 0; i < sharing; ++i) members.push_back({"copy" + std::to_string(i), 1, i == 0 ? content : ""});
  std::string archive = BuildArchive(members);
  for (std::size_t i = 0; i < static_cast<std::size_t>(cut_members); ++i) Put32(&archive, LengthField(i), 0xFFFFFFFF);
  const std::size_t first = static_cast<std::size_t>(cut_members);
  for (std::size_t i = first + 1; i < members.size(); ++i) {
    Put32(&archive, OffsetField(i), Get32(archive, OffsetField(first)));
    Put32(&archive, LengthField(i), Get32(archive, LengthField(first)));
  }
  return archive;
}

// Members that share one stream are found whatever else is wrong with the archive (a member
// cut off before them, say): unpack writes nothing and test reports them without decoding
// the stream once per member.
TEST(ToolUnpackTest, SharedDataAreRefusedWhateverElseIsWrong) {
  TempDir dir;
  struct Case {
    const char *what;
    int cut_members, sharing;
    std::size_t content_size;
  };
  const Case cases[] = {
      {"sharing only", 0, 20, 8 << 10},
      {"a cut member first", 1, 20, 8 << 10},
      {"two cut members first", 2, 3, 100},
      {"a large shared stream", 0, 40, 16 << 20},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string archive =
        dir.WriteFile("shared.ydz", SharingArchive(c.cut_members, c.sharing, std::string(c.content_size, '\0')));
    const std::string out = dir / "out";
    const auto unpacked = Ydr({"unpack", archive, out});
    EXPECT_EQ(unpacked.exit_status, 1);
    EXPECT_NE(unpacked.err.find(std::to_string(c.sharing) + " members share or overlap their data"), std::string::npos)
        << unpacked.err;
    EXPECT_EQ(PathsBelow(out), std::vector<std::string>{});

    const auto start = std::chrono::steady_clock::now();
    const auto tested = Ydr({"test", archive});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(tested.exit_status, 1);
    EXPECT_NE(tested.err.find(std::to_string(c.sharing) + " members share or overlap their data"), std::string::npos)
        << tested.err;
    const int failed = c.sharing + c.cut_members;
    EXPECT_NE(tested.err.find(", " + std::to_string(failed) + " failed"), std::string::npos) << tested.err;
    // Decoding 16 MiB forty times over would take many seconds; the check is on ranges.
    EXPECT_LT(seconds, 10.0);
  }
}

// Many members whose data start past the end of the file: test and unpack report the cut
// once, in time that grows with the number of members, not with its square.
TEST(ToolUnpackTest, ManyCutOffMembersTakeLinearTime) {
  TempDir dir;
  constexpr std::size_t kMembers = 250000;
  std::string archive = BuildArchive(std::vector<ArchiveMember>(kMembers, ArchiveMember("", 2, "")));
  for (std::size_t i = 0; i < kMembers; ++i) {
    archive[48 + 32 * i] = 1;
    Put32(&archive, OffsetField(i), 0xFFFFFF00);
    Put32(&archive, LengthField(i), 16);
  }
  const std::string path = dir.WriteFile("cut.ydz", archive);
  for (const std::vector<std::string> &args :
       std::vector<std::vector<std::string>>{{"test", path}, {"unpack", path, dir / "out"}}) {
    SCOPED_TRACE(args[0]);
    const auto start = std::chrono::steady_clock::now();
    const auto result = Ydr(args);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(Count(result.err, "cut short: the data of 250000 members lie past its end"), 1u) << result.err;
  }
}

// Two members whose names land on one path: the first is unpacked, the second named and left
// out, and the exit status is 1, with or without --overwrite or --keep; test fails the
// second too.
TEST(ToolUnpackTest, MembersLandingOnOnePathKeepTheFirst) {
  TempDir dir;
  // Names with a lone surrogate: both come out with U+FFFD in its place.
  std::string lone = BuildArchive({{"Q.txt", 1, "first"}, {"R.txt", 1, "second"}});
  for (const char letter : {'Q', 'R'}) {
    const std::size_t at = lone.find(std::string{letter, '\0', '.', '\0'});
    ASSERT_NE(at, std::string::npos);
    lone[at] = '\0';
    lone[at + 1] = letter == 'Q' ? '\xD8' : '\xDB';
  }
  struct Case {
    const char *what;
    std::string archive;
    std::vector<std::string> options;
    const char *path, *second_label;
    bool existed;  // a file was at the path before the run (its content: "mine")
  };
  const Case cases[] = {
      {"a climbing name",
       BuildArchive({{"a.txt", 1, "first"}, {"x\\..\\a.txt", 1, "second"}}),
       {},
       "a.txt",
       "'x/../a.txt'",
       false},
      {"names that fold to one",
       BuildArchive({{"d\\a.txt", 1, "first"}, {"d/./a.txt", 1, "second"}}),
       {},
       "d/a.txt",
       "'d/./a.txt'",
       false},
      {"invalid UTF-16", lone, {}, "\xEF\xBF\xBD.txt", "'\xEF\xBF\xBD.txt'", false},
      {"flat", BuildArchive({{"a\\x", 1, "first"}, {"b\\x", 1, "second"}}), {"--flat"}, "x", "'b/x'", false},
      {"overwrite replaces the old file once",
       BuildArchive({{"a.txt", 1, "first"}, {"y\\..\\a.txt", 1, "second"}}),
       {"--overwrite"},
       "a.txt",
       "'y/../a.txt'",
       true},
      {"keep",
       BuildArchive({{"n.txt", 1, "first"}, {"z\\..\\n.txt", 1, "second"}}),
       {"--keep"},
       "n.txt",
       "'z/../n.txt'",
       false},
  };
  int round = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = dir / ("out" + std::to_string(++round));
    if (c.existed) dir.WriteFile("out" + std::to_string(round) + "/" + c.path, "mine");
    std::vector<std::string> args = {"unpack"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(dir.WriteFile("same.ydz", c.archive));
    args.push_back(out);
    const auto result = Ydr(args);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(ReadFile(out + "/" + c.path), "first");
    EXPECT_NE(result.err.find(std::string(c.second_label) + ": lands on the same file"), std::string::npos)
        << result.err;
    EXPECT_EQ(Count(result.err, "lands on the same file"), 1u) << result.err;
    EXPECT_NE(result.err.find("1 member failed"), std::string::npos) << result.err;
    for (const std::string &path : PathsBelow(out)) EXPECT_EQ(path.find(".part"), std::string::npos) << path;
    // test says what unpack (without --flat) would leave out.
    if (c.options.empty()) {
      const auto tested = Ydr({"test", args[args.size() - 2]});
      EXPECT_EQ(tested.exit_status, 1);
      EXPECT_NE(tested.err.find(std::string(c.second_label) + ": lands on the same file"), std::string::npos)
          << tested.err;
    }
  }
}

// Two runs unpacking into one folder at once: both pass the check for existing files before
// either writes, so only the move into place can keep one from replacing the other's files.
// Whatever the timing, a file holds one run's bytes, and a run that reports success has
// every one of its files in place.
TEST(ToolUnpackTest, TwoRunsIntoOneFolderNeverReplaceEachOthersFiles) {
  TempDir dir;
  constexpr int kMembers = 300;
  std::string archives[2];
  for (int run = 0; run < 2; ++run) {
    std::vector<ArchiveMember> members;
    for (int i = 0; i < kMembers; ++i) members.push_back({"f" + std::to_string(i), 1, std::string(1, "AB"[run])});
    archives[run] = dir.WriteFile("run" + std::to_string(run) + ".ydz", BuildArchive(members));
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    const std::string out = dir / ("out" + std::to_string(attempt));
    ProcessResult results[2];
    std::thread other([&] { results[1] = Ydr({"unpack", "-q", archives[1], out}); });
    results[0] = Ydr({"unpack", "-q", archives[0], out});
    other.join();
    EXPECT_FALSE(results[0].exit_status == 0 && results[1].exit_status == 0);
    for (int i = 0; i < kMembers; ++i) {
      const std::string content = ReadFile(out + "/f" + std::to_string(i));
      EXPECT_TRUE(content == "A" || content == "B") << i;
      for (int run = 0; run < 2; ++run) {
        if (results[run].exit_status == 0) {
          EXPECT_EQ(content, std::string(1, "AB"[run])) << i;
        }
      }
    }
    EXPECT_EQ(PathsBelow(out).size(), static_cast<std::size_t>(kMembers));  // no temporary left
  }
}

#if !defined(_WIN32)  // descriptor limits as POSIX sets them
// With few descriptors to spare (ulimit -n 12, say), unpacking into many folders gives back
// the folders it holds open instead of failing every member after the first few.
TEST(ToolUnpackTest, FewDescriptorsAreEnoughForManyFolders) {
  TempDir dir;
  std::vector<ArchiveMember> members;
  for (int i = 0; i < 300; ++i) {
    members.push_back({"d" + std::to_string(i % 100) + "\\f" + std::to_string(i), 1, std::to_string(i)});
  }
  const std::string archive = dir.WriteFile("many.ydz", BuildArchive(members));
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  const int lowest_free = dup(0);
  ASSERT_GE(lowest_free, 0);
  close(lowest_free);
  // The runner's three pipes take six; the program gets its standard three and the rest.
  rlimit few = before;
  few.rlim_cur = std::min<rlim_t>(before.rlim_cur, static_cast<rlim_t>(std::max(lowest_free, 3) + 9));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  const auto result = Ydr({"unpack", archive, dir / "out"});
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  EXPECT_EQ(result.exit_status, 0) << result.err.substr(0, 2000);
  EXPECT_EQ(PathsBelow(dir / "out").size(), 400u);  // 100 folders, 300 files
  EXPECT_EQ(ReadFile(dir / "out/d42/f142"), "142");
}
#endif

// Counts are said with the right number, the bytes of a member that failed are not counted as
// unpacked, and test's results (each member that checks out) go to standard output.
TEST(ToolUnpackTest, SummariesCountWhatWasDone) {
  TempDir dir;
  std::string mismatch = ydr::test::MemberStream(std::string(5000, 'm'));
  mismatch[mismatch.size() - 6] ^= 1;  // the whole content decodes, then the CRC-32 differs
  const std::string one = dir.WriteFile("one.ydz", BuildArchive({{"ok.txt", 1, "ok"}}));
  const std::string two =
      dir.WriteFile("two.ydz", BuildArchive({{"ok.txt", 1, "ok"}, ArchiveMember::Raw("bad.txt", mismatch)}));
  struct Case {
    std::vector<std::string> args;
    int exit_status;
    const char *err, *out;
  };
  const Case cases[] = {
      {{"unpack", one, dir / "o1"}, 0, "unpacked 1 of 1 member, 2 bytes", ""},
      {{"unpack", two, dir / "o2"}, 1, "unpacked 1 of 2 members, 2 bytes", ""},
      {{"unpack", two, dir / "o3"}, 1, "1 member failed", ""},
      {{"unpack", "--keep", one, dir / "o1"}, 0, "kept 1 existing file as it was", ""},
      {{"test", one}, 0, "1 member, 0 failed", ""},
      {{"test", two}, 1, "2 members, 1 failed", ""},
      {{"test", "-v", two}, 1, "'bad.txt'", "'ok.txt': OK\n"},
      {{"list", one}, 0, "", "1 file, 0 folders"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const auto result = Ydr(c.args);
    EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find(": OK"), std::string::npos) << result.err;
  }
}

}  // namespace
