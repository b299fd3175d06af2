// ydr pack / unpack / list / test as a user (and a hostile archive) would try them: nothing
// outside DEST, nothing half-written, every failure named and a non-zero exit.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
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
using ydr::test::PathsBelow;
using ydr::test::ProcessResult;
using ydr::test::ReadFile;
using ydr::test::RunProcess;
using ydr::test::TempDir;

#if defined(_WIN32)
constexpr bool kPipesAndLinks = false;  // none that a test can make there

ProcessResult Ydr(const std::vector<std::string> &args, const std::string &cwd = "") {
  std::vector<std::string> argv = {YDR_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, {}, "", cwd);
}
#else
constexpr bool kPipesAndLinks = true;

// Runs ydr (in `cwd` when given) through a shell, which sets limits first when
// `shell_prefix` says so; the runner's deadline turns a blocked open into a failed test.
ProcessResult Ydr(const std::vector<std::string> &args, const std::string &cwd = "",
                  const std::string &shell_prefix = "") {
  std::string command = shell_prefix + "exec " + ydr::test::ShellWords(YDR_TOOL);
  for (const std::string &a : args) command += " '" + a + "'";
  if (!cwd.empty()) command = "cd '" + cwd + "' && " + command;
  return RunProcess({"/bin/sh", "-c", command});
}
#endif

TEST(ToolArchiveTest, PackListTestUnpackRoundTrip) {
  TempDir dir;
  dir.WriteFile("tree/a.txt", "alpha");
  dir.WriteFile("tree/sub/한글 b.txt", "bravo");
  dir.WriteFile("tree/empty.txt", "");
  dir.MakeDir("tree/nothing");
  const std::string archive = dir / "t.ydz";
  // A folder named without a separator packs its tree all the same.
  for (const std::string given : {"tree/", "tree"}) {
    SCOPED_TRACE(given);
    const auto packed = Ydr({"pack", "-f", archive, given}, dir.path());
    EXPECT_EQ(packed.exit_status, 0) << packed.err;
    EXPECT_NE(packed.err.find("packed 6 members (3 files)"), std::string::npos) << packed.err;
    const auto listed = Ydr({"list", archive});
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_NE(listed.out.find("tree/sub/한글 b.txt"), std::string::npos) << listed.out;  // '/' shown
    EXPECT_EQ(Ydr({"test", archive}).exit_status, 0);                                    // the empty file included
    // Stored names are relative, and land relative to DEST.
    const std::string out = dir / ("out-" + std::to_string(given.size()));
    const auto unpacked = Ydr({"unpack", archive, out});
    EXPECT_EQ(unpacked.exit_status, 0) << unpacked.err;
    EXPECT_EQ(ReadFile(out + "/tree/sub/한글 b.txt"), "bravo");
    EXPECT_EQ(ReadFile(out + "/tree/a.txt"), "alpha");
    EXPECT_TRUE(fs::is_regular_file(out + "/tree/empty.txt"));
    EXPECT_TRUE(fs::is_directory(out + "/tree/nothing"));
  }
  const auto flat = Ydr({"unpack", archive, dir / "flat", "--flat", "--only", "*.txt"});
  EXPECT_EQ(flat.exit_status, 0) << flat.err;
  EXPECT_EQ(ReadFile(dir / "flat/한글 b.txt"), "bravo");
  EXPECT_EQ(PathsBelow(dir / "flat"), (std::vector<std::string>{"a.txt", "empty.txt", "한글 b.txt"}));
}

TEST(ToolArchiveTest, StoredNamesAreFoldedBelowTheDestination) {
  TempDir dir;
  const std::vector<ArchiveMember> members = {
      {"d2\\f.txt", 1, "1"},
      {"/abs/g.txt", 1, "2"},
      {"C:\\w\\h.txt", 1, "3"},
      {"../../../i.txt", 1, "4"},
      {"\\\\server\\share\\j.txt", 1, "5"},
      {"a/./b/../k.txt", 1, "6"},
  };
  const std::string archive = dir.WriteFile("names.ydz", BuildArchive(members));
  const auto result = Ydr({"unpack", archive, dir / "out"}, dir.MakeDir("elsewhere"));
  EXPECT_EQ(result.exit_status, 0) << result.err;
  const std::vector<std::pair<const char *, const char *>> expected = {
      {"d2/f.txt", "1"}, {"abs/g.txt", "2"},          {"w/h.txt", "3"},
      {"i.txt", "4"},    {"server/share/j.txt", "5"}, {"a/k.txt", "6"}};
  for (const auto &[path, content] : expected) EXPECT_EQ(ReadFile(dir / ("out/" + std::string(path))), content) << path;
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

// Links and special files already inside DEST are never written through or opened.
#if !defined(_WIN32)  // links and pipes as POSIX makes them
TEST(ToolArchiveTest, PlantedLinksAndPipesInTheDestinationAreRefused) {
  TempDir dir;
  const std::string outside = dir.MakeDir("outside");
  const std::string secret = dir.WriteFile("outside/secret.txt", "keep me");
  const std::string dest = dir.MakeDir("dest");
  fs::create_directory_symlink(outside, dest + "/linked");
  fs::create_symlink(secret, dest + "/file-link.txt");
  ASSERT_EQ(mkfifo((dest + "/pipe.txt").c_str(), 0600), 0);
  const std::string archive = dir.WriteFile("a.ydz", BuildArchive({{"linked\\new.txt", 1, "x"},
                                                                   {"linked\\secret.txt", 1, "overwritten"},
                                                                   {"file-link.txt", 1, "overwritten"},
                                                                   {"pipe.txt", 1, "blocked?"},
                                                                   {"linked\\", 3, ""},
                                                                   {"fine\\ok.txt", 1, "fine"}}));
  // DEST given through a link the user chose is fine. Without --overwrite nothing would be
  // unpacked, since names are taken; with it, links and pipes are still never replaced.
  fs::create_directory_symlink(dest, dir / "dest-link");
  const auto refused = Ydr({"unpack", archive, dir / "dest-link"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("exist already"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dest + "/fine"));
  const auto result = Ydr({"unpack", "--overwrite", archive, dir / "dest-link"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(ReadFile(secret), "keep me");
  EXPECT_EQ(PathsBelow(outside), std::vector<std::string>{"secret.txt"});
  EXPECT_TRUE(fs::is_symlink(dest + "/file-link.txt"));
  EXPECT_TRUE(fs::is_fifo(dest + "/pipe.txt"));
  EXPECT_EQ(ReadFile(dest + "/fine/ok.txt"), "fine");
  for (const char *name : {"'linked/new.txt'", "'linked/secret.txt'", "'file-link.txt'", "'pipe.txt'", "'linked/'"}) {
    EXPECT_EQ(Count(result.err, name), 1u) << name << "\n" << result.err;
  }
  // No temporary file is left anywhere.
  for (const std::string &path : PathsBelow(dest)) EXPECT_EQ(path.find(".part"), std::string::npos) << path;
}

#endif

TEST(ToolArchiveTest, DamagedMembersAreNamedAndNeverLeftUnderTheirNames) {
  TempDir dir;
  const std::string good = ydr::test::MemberStream(std::string(20000, 'g') + "tail");
  std::string corrupt = ydr::test::MemberStream("corrupt member data corrupt member data");
  corrupt[0] = static_cast<char>(0xFF);  // block type 3
  std::string mismatch = ydr::test::MemberStream("trailer mismatch");
  mismatch[mismatch.size() - 6] ^= 1;
  struct Case {
    const char *name;
    std::string stream;
    const char *reason;
  };
  const Case cases[] = {
      {"corrupt.txt", corrupt, "damaged or incomplete"},
      {"mismatch.txt", mismatch, "CRC-32 or length"},
      {"short.txt", good.substr(0, good.size() / 2), "damaged or incomplete"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const ArchiveMember bad = ArchiveMember::Raw(c.name, c.stream);
    const std::string archive =
        dir.WriteFile("bad.ydz", BuildArchive({{"before.txt", 1, "ok"}, bad, {"after.txt", 1, "ok"}}));
    const std::string out = dir / (std::string("out-") + c.name);
    for (const char *command : {"unpack", "test"}) {
      std::vector<std::string> args = {command, archive};
      if (std::string(command) == "unpack") args.push_back(out);
      const auto result = Ydr(args);
      EXPECT_EQ(result.exit_status, 1) << command;
      EXPECT_EQ(Count(result.err, std::string("'") + c.name + "'"), 1u) << result.err;
      EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    }
    EXPECT_EQ(PathsBelow(out), (std::vector<std::string>{"after.txt", "before.txt"}));
  }
}

TEST(ToolArchiveTest, ACutShortArchiveIsReportedOnce) {
  TempDir dir;
  std::vector<ArchiveMember> members;
  for (int i = 0; i < 20; ++i)
    members.push_back({"m" + std::to_string(i), 1, std::string(3000, static_cast<char>('a' + i))});
  const std::string whole = BuildArchive(members);
  const std::string archive = dir.WriteFile("cut.ydz", whole.substr(0, whole.size() / 2));
  const auto result = Ydr({"unpack", archive, dir / "out"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(Count(result.err, "cut short"), 1u) << result.err;
  EXPECT_EQ(Count(result.err, "'m1"), 0u) << result.err;  // not once per member
}

TEST(ToolArchiveTest, OverlappingMembersAndOutputLimitsAreRefused) {
  TempDir dir;
  const std::string bomb = dir.WriteFile("bomb.ydz", ydr::test::SharedStreamArchive(30, std::string(1 << 20, '\0')));
  const auto refused = Ydr({"unpack", bomb, dir / "out"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("overlap"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dir / "out"));  // refused before anything was written

  const std::string big =
      dir.WriteFile("big.ydz", BuildArchive({{"small", 1, "s"}, {"large", 1, std::string(5 << 20, 'z')}}));
  const auto capped = Ydr({"unpack", "--max-output", "1M", big, dir / "capped"});
  EXPECT_EQ(capped.exit_status, 1);
  EXPECT_NE(capped.err.find("--max-output"), std::string::npos) << capped.err;
  EXPECT_EQ(PathsBelow(dir / "capped"), std::vector<std::string>{"small"});
  EXPECT_EQ(Ydr({"unpack", "--max-output", "6M", big, dir / "roomy"}).exit_status, 0);
  EXPECT_EQ(Ydr({"unpack", "--max-output", "lots", big, dir / "x"}).exit_status, 2);
}

#if !defined(_WIN32)  // a file-size limit (ulimit -f)
TEST(ToolArchiveTest, FailedWritesLeaveNothingBehind) {
  TempDir dir;
  std::mt19937 random(7);
  std::string noise(3 << 20, '\0');
  for (char &c : noise) c = static_cast<char>(random());
  dir.WriteFile("src/noise.bin", noise);
  dir.WriteFile("src/small.txt", "small");
  // A file-size limit of 1 MiB (ulimit counts 1024-byte blocks).
  const auto packed = Ydr({"pack", dir / "a.ydz", "src"}, dir.path(), "ulimit -f 1024; ");
  EXPECT_EQ(packed.exit_status, 1);
  EXPECT_NE(packed.err.find("cannot write '" + (dir / "a.ydz") + "'"), std::string::npos) << packed.err;
  EXPECT_EQ(PathsBelow(dir.path()), (std::vector<std::string>{"src", "src/noise.bin", "src/small.txt"}));

  ASSERT_EQ(Ydr({"pack", dir / "a.ydz", "src"}, dir.path()).exit_status, 0);
  const auto unpacked = Ydr({"unpack", dir / "a.ydz", dir / "out"}, "", "ulimit -f 1024; ");
  EXPECT_EQ(unpacked.exit_status, 1);
  EXPECT_EQ(Count(unpacked.err, "'src/noise.bin'"), 1u) << unpacked.err;
  EXPECT_EQ(PathsBelow(dir / "out"), (std::vector<std::string>{"src", "src/small.txt"}));
}

#endif

// Members compressed on several threads are written in order: the archive, the messages and
// the exit are those of one thread, whatever the count, with files empty and large, members
// that fail, and a file past the bound of what the workers queue (the writer packs it).
TEST(ToolArchiveTest, PackingOnAnyNumberOfThreadsWritesTheSameArchive) {
  TempDir dir;
  std::mt19937 rng(5);
  for (int i = 0; i < 120; ++i) {
    std::string content;
    const int kind = i % 4;
    const std::size_t size = kind == 0 ? 0 : kind == 1 ? rng() % 100 : kind == 2 ? rng() % 20000 : rng() % 300000;
    for (std::size_t j = 0; j < size; ++j) content += static_cast<char>(kind == 3 ? rng() % 7 : 'a' + (j * j + i) % 26);
    dir.WriteFile("t/d" + std::to_string(i % 5) + "/f" + std::to_string(i), content);
  }
  {
    std::ofstream big(dir / "t/d2/big", std::ios::binary);
    const std::string chunk(1 << 20, 'z');
    for (int i = 0; i < 65; ++i) big << chunk;  // 65 MiB
  }
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo((dir / "t/d3/pipe").c_str(), 0600), 0);
#endif
  std::string first_archive, first_err;
  for (const std::string threads : {"1", "2", "3", "8"}) {
    SCOPED_TRACE(threads);
    const std::string archive = "a" + threads + ".ydz";
    const auto packed = Ydr({"pack", "-j", threads, archive, "t"}, dir.path());
    EXPECT_EQ(packed.exit_status, 0) << packed.err;
    // The summary's time differs from run to run; everything before it may not.
    const std::string err = packed.err.substr(0, packed.err.find(" in "));
    if (kPipesAndLinks) {
      EXPECT_NE(err.find("'t/d3/pipe': not a regular file"), std::string::npos) << err;
    }
    // A path that fails fails the run on any number of threads, and leaves no archive.
    const auto failed = Ydr({"pack", "-j", threads, "m" + archive, "t", "missing"}, dir.path());
    EXPECT_EQ(failed.exit_status, 1) << failed.err;
    EXPECT_FALSE(fs::exists(dir / ("m" + archive)));
    const std::string bytes = ReadFile(dir / archive);
    if (first_archive.empty()) {
      first_archive = bytes;
      first_err = err;
      continue;
    }
    EXPECT_TRUE(bytes == first_archive);
    EXPECT_EQ(err, first_err);
  }
  EXPECT_EQ(Ydr({"test", dir / "a8.ydz"}).exit_status, 0);
  for (const std::string bad : {"0", "x", "-1", "2000", ""}) {
    const auto refused = Ydr({"pack", "--jobs=" + bad, "b.ydz", "t"}, dir.path());
    EXPECT_EQ(refused.exit_status, 2) << bad;
    EXPECT_NE(refused.err.find("--jobs takes a number"), std::string::npos) << refused.err;
  }
}

#if !defined(_WIN32)  // pipes and links
TEST(ToolArchiveTest, PackingLeavesOutWhatCannotBePackedAndSaysWhy) {
  TempDir dir;
  dir.WriteFile("e/keep.txt", "keep");
  dir.WriteFile("e/z.ydz", "an older archive in the way");
  ASSERT_EQ(mkfifo((dir / "e/pipe").c_str(), 0600), 0);
  // Twelve folders, each linking twice to the next: walked once each, not 2^12 times.
  for (int i = 0; i < 12; ++i) {
    const std::string level = dir.MakeDir("e/l" + std::to_string(i));
    dir.WriteFile("e/l" + std::to_string(i) + "/f", std::to_string(i));
    if (i > 0) {
      fs::create_directory_symlink(dir / ("e/l" + std::to_string(i)), dir / ("e/l" + std::to_string(i - 1) + "/a"));
      fs::create_directory_symlink(dir / ("e/l" + std::to_string(i)), dir / ("e/l" + std::to_string(i - 1) + "/b"));
    }
  }
  fs::create_symlink(dir / "e/keep.txt", dir / "e/link-to-file");
  const auto packed = Ydr({"pack", "-f", "e/z.ydz", "e/"}, dir.path());
  EXPECT_EQ(packed.exit_status, 0) << packed.err;
  EXPECT_NE(packed.err.find("'e/pipe': not a regular file"), std::string::npos) << packed.err;
  const auto listed = Ydr({"list", "-q", dir / "e/z.ydz"});
  EXPECT_LT(Count(listed.out, "\n"), 60u) << listed.out;
  EXPECT_EQ(Count(listed.out, "z.ydz"), 0u) << listed.out;  // never a member of itself
  EXPECT_EQ(Count(listed.out, "link-to-file"), 1u);         // a link to a file: its contents
  EXPECT_EQ(Ydr({"unpack", dir / "e/z.ydz", dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/e/link-to-file"), "keep");
  EXPECT_EQ(ReadFile(dir / "out/e/l0/a/f"), "1");

  // A pipe given by name, and a missing file, fail the run, each named; no archive is left.
  const auto given = Ydr({"pack", "g.ydz", "e/pipe", "e/keep.txt", "nope.txt"}, dir.path());
  EXPECT_EQ(given.exit_status, 1);
  EXPECT_NE(given.err.find("'e/pipe': not a regular file"), std::string::npos) << given.err;
  EXPECT_NE(given.err.find("cannot open 'nope.txt': No such file or directory"), std::string::npos) << given.err;
  EXPECT_NE(given.err.find("2 paths could not be packed"), std::string::npos) << given.err;
  EXPECT_FALSE(fs::exists(dir / "g.ydz"));
}

#endif

#if !defined(_WIN32)  // names with a backslash, or not UTF-8, exist only on POSIX file systems
TEST(ToolArchiveTest, NamesThatCannotComeBackAreLeftOutNotSwapped) {
  TempDir dir;
  dir.WriteFile("bs/back\\slash", "the backslash one");
  dir.WriteFile("bs/back/slash", "the folder one");
  dir.WriteFile(std::string("bs/bad\xff"), "not UTF-8");
  const auto packed = Ydr({"pack", "bs.ydz", "bs"}, dir.path());
  EXPECT_EQ(packed.exit_status, 1);
  EXPECT_NE(packed.err.find("'bs/back\\slash'"), std::string::npos) << packed.err;
  EXPECT_NE(packed.err.find("'bs/bad\\xff'"), std::string::npos) << packed.err;
  EXPECT_FALSE(fs::exists(dir / "bs.ydz"));  // a run that fails leaves no archive
  // Without them, the folder one is packed under its own name.
  fs::remove(dir / "bs/back\\slash");
  fs::remove(dir / "bs/bad\xff");
  ASSERT_EQ(Ydr({"pack", "bs.ydz", "bs"}, dir.path()).exit_status, 0);
  ASSERT_EQ(Ydr({"unpack", dir / "bs.ydz", dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/bs/back/slash"), "the folder one");
}
#endif

TEST(ToolArchiveTest, ControlCharactersInNamesAreEscaped) {
  TempDir dir;
  const std::string archive =
      dir.WriteFile("c.ydz", BuildArchive({{"a\nb.txt", 1, "x"}, {"\x1b[2Jclear", 1, "y"}, {"tab\there", 1, "z"}}));
  const auto listed = Ydr({"list", "-q", archive});
  EXPECT_EQ(listed.exit_status, 0);
  EXPECT_EQ(Count(listed.out, "\n"), 3u) << listed.out;  // one row per member, however named
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
  EXPECT_NE(listed.out.find("a\\nb.txt"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\\x1b[2Jclear"), std::string::npos) << listed.out;
  const auto bad = dir.WriteFile("d.ydz", BuildArchive({ArchiveMember::Raw("evil\x1b]0;title\x07", "garbage!")}));
  const auto tested = Ydr({"test", bad});
  EXPECT_EQ(tested.exit_status, 1);
  EXPECT_EQ(tested.err.find('\x1b'), std::string::npos) << tested.err;
}

TEST(ToolArchiveTest, OnlyFailsWhenNothingMatchesOrAMatchFails) {
  TempDir dir;
  std::string corrupt = ydr::test::MemberStream("x");
  corrupt[0] = static_cast<char>(0xFF);
  const std::string archive =
      dir.WriteFile("o.ydz", BuildArchive({{"ok.txt", 1, "ok"}, ArchiveMember::Raw("bad.log", corrupt)}));
  EXPECT_EQ(Ydr({"unpack", archive, dir / "a", "--only", "*.txt"}).exit_status, 0);
  const auto none = Ydr({"unpack", archive, dir / "b", "--only", "*.doc"});
  EXPECT_EQ(none.exit_status, 1);
  EXPECT_NE(none.err.find("no member matches '*.doc'"), std::string::npos) << none.err;
  EXPECT_EQ(Ydr({"unpack", archive, dir / "c", "--only", "*.log"}).exit_status, 1);
}

TEST(ToolArchiveTest, ExistingFilesAreReplacedOrKeptOnlyWhenAsked) {
  TempDir dir;
  const std::string archive =
      dir.WriteFile("a.ydz", BuildArchive({{"d/new.txt", 1, "new"}, {"d/old.txt", 1, "from the archive"}}));
  dir.WriteFile("out/d/old.txt", "mine");
  const auto refused = Ydr({"unpack", archive, dir / "out"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("'d/old.txt'"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dir / "out/d/new.txt"));  // refused before anything was written
  EXPECT_EQ(Ydr({"unpack", "--keep", archive, dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/d/old.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "out/d/new.txt"), "new");
  EXPECT_EQ(Ydr({"unpack", "--overwrite", archive, "--dest", dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/d/old.txt"), "from the archive");
  EXPECT_EQ(Ydr({"unpack", "--keep", "--overwrite", archive, dir / "out"}).exit_status, 2);
}

TEST(ToolArchiveTest, ListingsShowSizesSavingsAndSlashes) {
  TempDir dir;
  const std::string archive = dir.WriteFile(
      "l.ydz", BuildArchive({{"docs\\a.txt", 1, std::string(1000, 'a')}, {"docs\\", 3, ""}, {"gone", 2, ""}}));
  const auto listed = Ydr({"list", archive});
  EXPECT_EQ(listed.exit_status, 0);
  EXPECT_NE(listed.out.find("Original      Stored   Saved  Name"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("      1000"), std::string::npos) << listed.out;  // from the trailer
  EXPECT_NE(listed.out.find("docs/a.txt"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("gone  (not-packed)"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("1 file, 1 folder"), std::string::npos) << listed.out;
  const auto verbose = Ydr({"list", "-v", archive});
  EXPECT_NE(verbose.out.find("folder"), std::string::npos) << verbose.out;
  // The columns line up: every row's name (and the rules' last column) starts where the
  // header's "Name" does, whatever the saving's width (a member that grew saves "-x.x%").
  const std::string grown =
      dir.WriteFile("g.ydz", BuildArchive({{"grew", 1, "x"}, {"full\\", 3, ""}, {"kept", 1, std::string(5000, 'k')}}));
  for (const auto &listing : {Ydr({"list", grown}), Ydr({"list", "-v", grown})}) {
    const std::string &out = listing.out;
    const std::size_t column = out.find("Name");
    ASSERT_NE(column, std::string::npos) << out;
    std::size_t start = 0;
    for (int line = 0; line < 5; ++line) {  // header, rule, three members
      const std::size_t end = out.find('\n', start);
      ASSERT_NE(end, std::string::npos) << out;
      const std::string text = out.substr(start, end - start);
      SCOPED_TRACE(text);
      ASSERT_GT(text.size(), column);
      EXPECT_NE(text[column], ' ');
      EXPECT_EQ(text.substr(column - 2, 2), "  ");
      start = end + 1;
    }
  }
}

// --only takes '/' and '\' alike, in the pattern and in the stored names (which the library
// writes with '\', and other writers may not).
TEST(ToolArchiveTest, OnlyTakesEitherSeparator) {
  TempDir dir;
  const std::string archive =
      dir.WriteFile("s.ydz", BuildArchive({{"docs\\a.txt", 1, "a"}, {"notes/b.txt", 1, "b"}, {"top.txt", 1, "t"}}));
  struct Case {
    const char *pattern;
    const char *unpacked;
  };
  const Case cases[] = {{"docs/*.txt", "docs/a.txt"},    {"docs\\*.txt", "docs/a.txt"}, {"notes/b.txt", "notes/b.txt"},
                        {"notes\\b.txt", "notes/b.txt"}, {"b.txt", "notes/b.txt"},      {"*/a.txt", "docs/a.txt"}};
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pattern);
    const std::string out = dir / ("o" + std::to_string(n++));
    const auto result = Ydr({"unpack", "--only", c.pattern, archive, out});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(fs::exists(out + "/" + c.unpacked));
    EXPECT_FALSE(fs::exists(out + "/top.txt"));
  }
}

TEST(ToolArchiveTest, UsageAndArchivesThatAreNotArchives) {
  TempDir dir;
  dir.WriteFile("not.ydz", "hello");
  const auto refused = Ydr({"list", dir / "not.ydz"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("is not an archive"), std::string::npos);
  const auto missing = Ydr({"test", dir / "missing.ydz"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("cannot open '" + (dir / "missing.ydz") + "': No such file or directory"),
            std::string::npos);
  EXPECT_EQ(Ydr({"list", dir.path()}).exit_status, 1);  // a folder
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
           {"pack", "a.ydz"}, {"unpack"}, {"unpack", "a", "b", "c"}, {"list"}, {"unpack", "a", "--bogus"}}) {
    EXPECT_EQ(Ydr(args, dir.path()).exit_status, 2) << args.back();
  }
}

}  // namespace
