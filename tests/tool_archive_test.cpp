// ydr pack / unpack / list / test as a user (and a hostile archive) would try them: nothing
// outside DEST, nothing half-written, every failure named and a non-zero exit.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
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

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#if !defined(_WIN32)
// Runs ydr under a file-size limit of 1 MiB, set by a shell as a user sets it (lowered in
// this process instead, the coverage counts of the runs are lost), through the emulator if any.
ProcessResult YdrUnderFileSizeLimit(std::vector<std::string> args, const std::string &cwd = "") {
  args.insert(args.begin(),
              {"/bin/sh", "-c", "ulimit -f 1024; exec " + ydr::test::ShellWords(YDR_TOOL) + " \"$@\"", "sh"});
  return ydr::test::RunProcess(args, {}, "", cwd);
}

// Runs ydr with its descriptors limited to `limit`.
ProcessResult YdrWithFewDescriptors(rlim_t limit, const std::vector<std::string> &args) {
  rlimit before{};
  EXPECT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit lowered = before;
  lowered.rlim_cur = std::min(before.rlim_cur, limit);
  EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  ProcessResult result = Ydr(args);
  EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  return result;
}
#endif

// The member names an archive stores, read from its bytes (ASCII names only).
std::vector<std::string> StoredNames(const std::string &bytes) {
  std::vector<std::string> names(Get32(bytes, 32));
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t offset = Get32(bytes, 48 + 32 * i + 12), length = Get32(bytes, 48 + 32 * i + 16) & 0xFFFF;
    for (std::size_t j = 0; j < length; ++j) names[i] += bytes.at(offset + 2 * j);
  }
  return names;
}

const char kOldArchive[] = "an archive from before";

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
    const auto packed = Ydr({"pack", "-f", archive, given}, "", dir.path());
    EXPECT_EQ(packed.exit_status, 0) << packed.err;
    EXPECT_TRUE(Has(packed.err, "packed 6 members (3 files)")) << packed.err;
    const auto listed = Ydr({"list", archive});
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_TRUE(Has(listed.out, "tree/sub/한글 b.txt")) << listed.out;  // '/' shown
    EXPECT_EQ(Ydr({"test", archive}).exit_status, 0);                   // the empty file included
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

// Whatever is at ARCHIVE stays as it was unless -f; with -f a regular file (or the file a
// link names) is replaced, and nothing that is not a regular file is written into.
TEST(ToolPackTest, AnExistingArchiveIsReplacedOnlyWithForce) {
  // At ARCHIVE: a file, a folder, a link to a file, a link that leads nowhere, a pipe.
  std::vector<std::tuple<char, int, const char *>> cases = {{'f', 0, "packed 2 members"},
                                                            {'d', 1, "cannot create 'a.ydz'"}};
#if !defined(_WIN32)
  cases.insert(cases.end(), {{'l', 0, "packed 2 members"},
                             {'n', 1, "cannot write an archive into 'a.ydz'"},
                             {'p', 1, "cannot write an archive into 'a.ydz': not a regular file"}});
#endif
  for (const auto &[kind, forced_exit, forced_message] : cases) {
    SCOPED_TRACE(kind);
    TempDir dir;
    dir.WriteFile("src/one.txt", "one");
    const std::string archive = dir / "a.ydz";
    if (kind == 'f') dir.WriteFile("a.ydz", kOldArchive);
    if (kind == 'd') dir.MakeDir("a.ydz");
#if !defined(_WIN32)
    if (kind == 'l') fs::create_symlink(dir.WriteFile("real.ydz", kOldArchive), archive);
    if (kind == 'n') fs::create_symlink("gone/x.ydz", archive);
    ASSERT_TRUE(kind != 'p' || mkfifo(archive.c_str(), 0600) == 0);
#endif
    const fs::file_type type = fs::symlink_status(archive).type();
    const std::vector<std::string> before = PathsBelow(dir.path());
    const auto refused = Ydr({"pack", "a.ydz", "src"}, "", dir.path());
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_TRUE(Has(refused.err, "'a.ydz' already exists; not replaced (use -f)")) << refused.err;
    EXPECT_EQ(PathsBelow(dir.path()), before);
    EXPECT_TRUE(!fs::is_regular_file(archive) || ReadFile(archive) == kOldArchive);
    const auto forced = Ydr({"pack", "--force", "a.ydz", "src"}, "", dir.path());
    EXPECT_EQ(forced.exit_status, forced_exit) << forced.err;
    EXPECT_TRUE(Has(forced.err, forced_message)) << forced.err;
    EXPECT_EQ(fs::symlink_status(archive).type(), type);                          // a link stays a link, a pipe a pipe
    EXPECT_TRUE(forced_exit != 0 || StoredNames(ReadFile(archive)).size() == 2);  // a link's file replaced
    EXPECT_EQ(PathsBelow(dir.path()), before);  // no temporary left, nothing made beside
  }
}

// All or nothing: a run with a path that cannot be packed, or with nothing to pack, leaves
// no archive, and an archive from before exactly as it was.
TEST(ToolPackTest, ARunThatFailsOrPacksNothingLeavesNoArchive) {
  struct Case {
    const char *what;
    std::vector<std::string> paths;
    const char *message;
    const char *message_over_an_archive = nullptr;  // when it differs
  };
  std::vector<Case> cases = {
      {"a missing path", {"nosuchdir"}, "cannot open 'nosuchdir': No such file or directory"},
      {"a missing path among good ones", {"src", "nosuchdir", "src/a.txt"}, "1 path could not be packed"},
      {"two missing paths", {"no1", "src", "no2"}, "2 paths could not be packed"},
      {"only the archive itself", {"a.ydz"}, "cannot open 'a.ydz'", "nothing to pack; no archive written"},
  };
#if !defined(_WIN32)
  cases.push_back({"a pipe given by name", {"src", "pipe"}, "cannot pack 'pipe': not a regular file"});
  cases.push_back({"a name with a backslash", {"bad"}, "left out 'bad/back\\slash': its name holds a backslash"});
  cases.push_back({"a name not UTF-8", {"bad"}, "'bad/bad\\xff'"});
  if (geteuid() != 0) {  // the superuser reads any file
    cases.push_back({"a file that cannot be read", {"src", "locked/secret"}, "cannot read 'locked/secret'"});
  }
#endif
  for (const Case &c : cases) {
    for (const bool previous : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (previous ? ", over an archive" : ""));
      TempDir dir;
      dir.WriteFile("src/a.txt", "alpha");
#if !defined(_WIN32)
      ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
      dir.WriteFile("bad/back\\slash", "x");
      dir.WriteFile("bad/back/slash", "x");  // where the one above would land: it is not the one left out
      dir.WriteFile("bad/bad\xff", "x");
      dir.WriteFile("locked/secret", "x");
      ASSERT_EQ(chmod((dir / "locked/secret").c_str(), 0), 0);
#endif
      if (previous) dir.WriteFile("a.ydz", kOldArchive);
      const std::vector<std::string> before = PathsBelow(dir.path());
      std::vector<std::string> args = {"pack", "-f", "a.ydz"};
      args.insert(args.end(), c.paths.begin(), c.paths.end());
      const auto result = Ydr(args, "", dir.path());
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_TRUE(Has(result.err, previous && c.message_over_an_archive ? c.message_over_an_archive : c.message))
          << result.err;
      EXPECT_EQ(PathsBelow(dir.path()), before);
      EXPECT_TRUE(!previous || ReadFile(dir / "a.ydz") == kOldArchive);
    }
  }
}

// However a folder is named, the archive stores the format's separator throughout, and
// `pack -v`, `list` and `test -v` show every name the same way, with '/'.
TEST(ToolPackTest, StoredNamesUseOneSeparatorAndMessagesShowThemAsListDoes) {
  const std::pair<std::string, std::string> cases[] = {
      {"linux", "linux\\"}, {"linux/", "linux\\"}, {"./linux", ".\\linux\\"}, {"linux/android", "linux\\android\\"}};
  TempDir dir;
  dir.WriteFile("linux/android/binder.h", "binder");
  dir.WriteFile("linux/types.h", "types");
  for (const auto &[given, prefix] : cases) {
    SCOPED_TRACE(given);
    const auto packed = Ydr({"pack", "-f", "-v", "inc.ydz", given}, "", dir.path());
    ASSERT_EQ(packed.exit_status, 0) << packed.err;
    const std::vector<std::string> names = StoredNames(ReadFile(dir / "inc.ydz"));
    EXPECT_EQ(names[0], prefix);  // the folder first
    for (const std::string &name : names) {
      EXPECT_EQ(name.find('/'), std::string::npos) << name;
      EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    }
    std::string binder = prefix + (given == "linux/android" ? "" : "android\\") + "binder.h";
    std::replace(binder.begin(), binder.end(), '\\', '/');
    const auto listed = Ydr({"list", "-q", "inc.ydz"}, "", dir.path());
    const auto tested = Ydr({"test", "-v", "inc.ydz"}, "", dir.path());
    EXPECT_TRUE(Has(listed.out, "  " + binder + "\n")) << listed.out;
    EXPECT_TRUE(Has(packed.err, "packed '" + binder + "'")) << packed.err;
    EXPECT_TRUE(Has(tested.out + tested.err, "'" + binder + "': OK")) << tested.out << tested.err;
  }
}

// No two members land on one path below a destination: the same file or folder reached
// twice is packed once; two different files that would land on one path fail the run.
TEST(ToolPackTest, NoTwoMembersLandOnOnePath) {
  struct Case {
    std::vector<std::string> paths;  // given from the folder "work"
    int exit;
    std::vector<std::string> stored;  // empty: no archive
    const char *message;
  };
  const Case cases[] = {
      {{"dir", "dir"}, 0, {"dir\\", "dir\\a.txt", "dir\\sub\\", "dir\\sub\\b.txt"}, "left out 'dir': packed already"},
      {{"dir", "dir/sub"}, 0, {"dir\\", "dir\\sub\\", "dir\\a.txt", "dir\\sub\\b.txt"}, "left out 'dir/sub'"},
      {{"dir", "./dir/a.txt"}, 0, {"dir\\", ".\\dir\\a.txt", "dir\\sub\\", "dir\\sub\\b.txt"}, "left out 'dir/a.txt'"},
      {{"x.txt", "../x.txt"}, 1, {}, "left out '../x.txt': it would unpack onto 'x.txt', as 'x.txt' does"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.paths.back());
    TempDir dir;
    dir.WriteFile("work/dir/a.txt", "a");
    dir.WriteFile("work/dir/sub/b.txt", "b");
    dir.WriteFile("work/x.txt", "mine");
    dir.WriteFile("x.txt", "another");
    std::vector<std::string> args = {"pack", "a.ydz"};
    args.insert(args.end(), c.paths.begin(), c.paths.end());
    const auto result = Ydr(args, "", dir / "work");
    EXPECT_EQ(result.exit_status, c.exit) << result.err;
    EXPECT_TRUE(Has(result.err, c.message)) << result.err;
    if (c.stored.empty()) {
      EXPECT_FALSE(fs::exists(dir / "work/a.ydz"));
    } else {
      EXPECT_EQ(StoredNames(ReadFile(dir / "work/a.ydz")), c.stored);
    }
  }
}

// `pack` and `list` state one figure, the space saved, and state it the same way.
TEST(ToolPackTest, PackAndListStateTheSameSaving) {
  TempDir dir;
  std::string mixed;
  for (int i = 0; i < 20000; ++i) mixed += static_cast<char>(i % 7 == 0 ? (i * 7919) % 251 : 'a' + i % 3);
  dir.WriteFile("data.txt", mixed);
  const auto packed = Ydr({"pack", "d.ydz", "data.txt"}, "", dir.path());
  ASSERT_EQ(packed.exit_status, 0) << packed.err;
  EXPECT_TRUE(Has(packed.err, "packed 1 member (1 file), 20000 bytes into ")) << packed.err;
  const std::size_t close = packed.err.find(" saved)"), open = packed.err.rfind(" (", close);
  ASSERT_NE(close, std::string::npos) << packed.err;
  const std::size_t into = packed.err.find("bytes into ") + 11;
  const auto listed = Ydr({"list", "d.ydz"}, "", dir.path());
  const std::string totals = listed.out.substr(listed.out.rfind("-----\n") + 6);
  EXPECT_TRUE(Has(totals, " " + packed.err.substr(into, open - into) + "  ")) << listed.out;  // the same bytes stored
  EXPECT_TRUE(Has(totals, " " + packed.err.substr(open + 2, close - open - 2) + "  ")) << listed.out;
}

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
    const auto packed = Ydr({"pack", "-j", threads, archive, "t"}, "", dir.path());
    EXPECT_EQ(packed.exit_status, 0) << packed.err;
    // The summary's time differs from run to run; everything before it may not.
    const std::string err = packed.err.substr(0, packed.err.find(" in "));
#if !defined(_WIN32)
    EXPECT_TRUE(Has(err, "'t/d3/pipe': not a regular file")) << err;
#endif
    // A path that fails fails the run on any number of threads, and leaves no archive.
    EXPECT_EQ(Ydr({"pack", "-j", threads, "m" + archive, "t", "missing"}, "", dir.path()).exit_status, 1);
    EXPECT_FALSE(fs::exists(dir / ("m" + archive)));
    if (first_archive.empty()) {
      first_archive = ReadFile(dir / archive);
      first_err = err;
    }
    EXPECT_TRUE(ReadFile(dir / archive) == first_archive);
    EXPECT_EQ(err, first_err);
  }
  EXPECT_EQ(Ydr({"test", dir / "a8.ydz"}).exit_status, 0);
}

#if !defined(_WIN32)  // pipes, links and file-size limits as POSIX makes them
TEST(ToolArchiveTest, PackingLeavesOutWhatCannotBePackedAndSaysWhy) {
  TempDir dir;
  dir.WriteFile("e/keep.txt", "keep");
  dir.WriteFile("e/z.ydz", "an older archive in the way");
  ASSERT_EQ(mkfifo((dir / "e/pipe").c_str(), 0600), 0);
  // Twelve folders, each linking twice to the next: walked once each, not 2^12 times.
  for (int i = 0; i < 12; ++i) {
    dir.WriteFile("e/l" + std::to_string(i) + "/f", std::to_string(i));
    for (const char *link : {"/a", "/b"}) {
      if (i > 0)
        fs::create_directory_symlink(dir / ("e/l" + std::to_string(i)), dir / ("e/l" + std::to_string(i - 1) + link));
    }
  }
  fs::create_symlink(dir / "e/keep.txt", dir / "e/link-to-file");
  const auto packed = Ydr({"pack", "-f", "e/z.ydz", "e/"}, "", dir.path());
  EXPECT_EQ(packed.exit_status, 0) << packed.err;
  EXPECT_TRUE(Has(packed.err, "'e/pipe': not a regular file")) << packed.err;
  const auto listed = Ydr({"list", "-q", dir / "e/z.ydz"});
  EXPECT_LT(Count(listed.out, "\n"), 60u) << listed.out;
  EXPECT_EQ(Count(listed.out, "z.ydz"), 0u) << listed.out;  // never a member of itself
  EXPECT_EQ(Count(listed.out, "link-to-file"), 1u);         // a link to a file: its contents
  EXPECT_EQ(Ydr({"unpack", dir / "e/z.ydz", dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/e/link-to-file"), "keep");
  EXPECT_EQ(ReadFile(dir / "out/e/l0/a/f"), "1");
}

TEST(ToolArchiveTest, FailedWritesLeaveNothingBehind) {
  TempDir dir;
  std::mt19937 random(7);
  std::string noise(3 << 20, '\0');
  for (char &c : noise) c = static_cast<char>(random());
  dir.WriteFile("src/noise.bin", noise);
  dir.WriteFile("src/small.txt", "small");
  const auto packed = YdrUnderFileSizeLimit({"pack", dir / "a.ydz", "src"}, dir.path());
  EXPECT_EQ(packed.exit_status, 1);
  EXPECT_TRUE(Has(packed.err, "cannot write '" + (dir / "a.ydz") + "'")) << packed.err;
  EXPECT_EQ(PathsBelow(dir.path()), (std::vector<std::string>{"src", "src/noise.bin", "src/small.txt"}));
  ASSERT_EQ(Ydr({"pack", dir / "a.ydz", "src"}, "", dir.path()).exit_status, 0);
  const auto unpacked = YdrUnderFileSizeLimit({"unpack", dir / "a.ydz", dir / "out"});
  EXPECT_EQ(unpacked.exit_status, 1);
  EXPECT_EQ(Count(unpacked.err, "'src/noise.bin'"), 1u) << unpacked.err;
  EXPECT_EQ(PathsBelow(dir / "out"), (std::vector<std::string>{"src", "src/small.txt"}));
}

// With few descriptors to spare (ulimit -n 12, say), unpacking into many folders gives back
// the folders it holds open instead of failing every member after the first few.
TEST(ToolUnpackTest, FewDescriptorsAreEnoughForManyFolders) {
  TempDir dir;
  std::vector<ArchiveMember> members;
  for (int i = 0; i < 300; ++i)
    members.push_back({"d" + std::to_string(i % 100) + "\\f" + std::to_string(i), 1, std::to_string(i)});
  const std::string archive = dir.WriteFile("many.ydz", BuildArchive(members));
  const int lowest_free = dup(0);
  ASSERT_GE(lowest_free, 0);
  close(lowest_free);
  // The runner's three pipes take six; the program gets its standard three and the rest.
  const auto result =
      YdrWithFewDescriptors(static_cast<rlim_t>(std::max(lowest_free, 3)) + 9, {"unpack", archive, dir / "out"});
  EXPECT_EQ(result.exit_status, 0) << result.err.substr(0, 2000);
  EXPECT_EQ(PathsBelow(dir / "out").size(), 400u);  // 100 folders, 300 files
  EXPECT_EQ(ReadFile(dir / "out/d42/f142"), "142");
}

// Links and special files already inside DEST are never written through or opened.
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
  EXPECT_TRUE(Has(refused.err, "exist already")) << refused.err;
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
  for (const std::string &path : PathsBelow(dest)) EXPECT_FALSE(Has(path, ".part")) << path;  // no temporary left
}
#endif

TEST(ToolUnpackTest, DamagedMembersAreNamedAndNeverLeftUnderTheirNames) {
  TempDir dir;
  const std::string good = ydr::test::MemberStream(std::string(20000, 'g') + "tail");
  std::string corrupt = ydr::test::MemberStream("corrupt member data corrupt member data");
  corrupt[0] = static_cast<char>(0xFF);  // block type 3
  std::string mismatch = ydr::test::MemberStream("trailer mismatch");
  mismatch[mismatch.size() - 6] ^= 1;
  const std::tuple<const char *, std::string, const char *> cases[] = {
      {"corrupt.txt", corrupt, "damaged or incomplete"},
      {"mismatch.txt", mismatch, "CRC-32 or length"},
      {"short.txt", good.substr(0, good.size() / 2), "damaged or incomplete"},
  };
  for (const auto &[name, stream, reason] : cases) {
    SCOPED_TRACE(name);
    const std::string archive = dir.WriteFile(
        "bad.ydz", BuildArchive({{"before.txt", 1, "ok"}, ArchiveMember::Raw(name, stream), {"after.txt", 1, "ok"}}));
    const std::string out = dir / (std::string("out-") + name);
    for (const auto &args :
         {std::vector<std::string>{"unpack", archive, out}, std::vector<std::string>{"test", archive}}) {
      const auto result = Ydr(args);
      EXPECT_EQ(result.exit_status, 1) << args[0];
      EXPECT_EQ(Count(result.err, std::string("'") + name + "'"), 1u) << result.err;
      EXPECT_TRUE(Has(result.err, reason)) << result.err;
    }
    EXPECT_EQ(PathsBelow(out), (std::vector<std::string>{"after.txt", "before.txt"}));
  }
}

// Records 0..`sharing`-1 after `cut_members` all point at one stream of `content`; the
// records before them are members whose length runs far past the end of the file.
std::string SharingArchive(int cut_members, int sharing, const std::string &content) {
  std::vector<ArchiveMember> members;
  for (int i = 0; i < cut_members; ++i) members.push_back({"cut" + std::to_string(i), 1, "c"});
  for (int i = 0; i < sharing; ++i) members.push_back({"copy" + std::to_string(i), 1, i == 0 ? content : ""});
  std::string archive = BuildArchive(members);
  const std::size_t first = 48 + 32 * static_cast<std::size_t>(cut_members);
  for (std::size_t at = 48; at < first; at += 32) Put32(&archive, at + 8, 0xFFFFFFFF);
  for (std::size_t at = first + 32; at < 48 + 32 * members.size(); at += 32)
    archive.replace(at + 4, 8, archive, first + 4, 8);
  return archive;
}

// Members that share one stream are found whatever else is wrong with the archive (a member
// cut off before them, say): unpack writes nothing and test reports them without decoding
// the stream once per member.
TEST(ToolUnpackTest, SharedDataAreRefusedWhateverElseIsWrong) {
  TempDir dir;
  const std::tuple<const char *, int, int, std::size_t> cases[] = {
      {"sharing only", 0, 20, 8 << 10},
      {"a cut member first", 1, 20, 8 << 10},
      {"two cut members first", 2, 3, 100},
      {"a large shared stream", 0, 40, 16 << 20},
  };
  for (const auto &[what, cut_members, sharing, size] : cases) {
    SCOPED_TRACE(what);
    const std::string archive =
        dir.WriteFile("shared.ydz", SharingArchive(cut_members, sharing, std::string(size, '\0')));
    const std::string message = std::to_string(sharing) + " members share or overlap their data";
    const auto unpacked = Ydr({"unpack", archive, dir / "out"});
    EXPECT_EQ(unpacked.exit_status, 1);
    EXPECT_TRUE(Has(unpacked.err, message)) << unpacked.err;
    EXPECT_FALSE(fs::exists(dir / "out"));  // refused before anything was written
    const auto start = std::chrono::steady_clock::now();
    const auto tested = Ydr({"test", archive});
    EXPECT_LT(SecondsSince(start), 10.0);  // decoding 16 MiB forty times over would take many seconds
    EXPECT_EQ(tested.exit_status, 1);
    EXPECT_TRUE(Has(tested.err, message)) << tested.err;
    EXPECT_TRUE(Has(tested.err, ", " + std::to_string(sharing + cut_members) + " failed")) << tested.err;
  }
}

// An archive cut short is reported once, not once per member; with many members whose data
// start past its end, in time that grows with their number, not with its square.
TEST(ToolUnpackTest, ACutShortArchiveIsReportedOnceInLinearTime) {
  TempDir dir;
  std::vector<ArchiveMember> members;
  for (int i = 0; i < 20; ++i)
    members.push_back({"m" + std::to_string(i), 1, std::string(3000, static_cast<char>('a' + i))});
  const std::string whole = BuildArchive(members);
  constexpr std::size_t kMembers = 250000;
  std::string many = BuildArchive(std::vector<ArchiveMember>(kMembers, ArchiveMember("", 2, "")));
  for (std::size_t i = 0; i < kMembers; ++i) {
    many[48 + 32 * i] = 1;
    Put32(&many, 48 + 32 * i + 4, 0xFFFFFF00);
    Put32(&many, 48 + 32 * i + 8, 16);
  }
  const std::string half = dir.WriteFile("half.ydz", whole.substr(0, whole.size() / 2));
  const std::string cut = dir.WriteFile("cut.ydz", many);
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
           {"unpack", half, dir / "o1"}, {"test", cut}, {"unpack", cut, dir / "o2"}}) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const auto start = std::chrono::steady_clock::now();
    const auto result = Ydr(args);
    EXPECT_LT(SecondsSince(start), 8.0);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(Count(result.err, "cut short"), 1u) << result.err;
    EXPECT_EQ(Count(result.err, "'m1"), 0u) << result.err;
    EXPECT_TRUE(args[1] != cut || Has(result.err, "cut short: the data of 250000 members lie past its end"));
  }
}

// Two members whose names land on one path: the first is unpacked, the second named and left
// out, and the exit status is 1, with or without --overwrite or --keep; test fails the
// second too. Names are folded below DEST, whatever root or '..' they climb with.
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
    std::vector<std::string> names;  // the first member's content is "first", the second's "second"; none: `lone`
    std::string option;              // --overwrite replaces a file there before ("mine") once
    const char *path, *second_label;
  };
  const Case cases[] = {
      {{"../../../a.txt", "x\\..\\a.txt"}, "", "a.txt", "'x/../a.txt'"},
      {{"d\\a.txt", "d/./a.txt"}, "", "d/a.txt", "'d/./a.txt'"},
      {{"/r/a.txt", "C:\\r\\a.txt", "\\\\s\\h\\j.txt"}, "", "r/a.txt", "'C:/r/a.txt'"},
      {{}, "", "\xEF\xBF\xBD.txt", "'\xEF\xBF\xBD.txt'"},
      {{"a\\x", "b\\x"}, "--flat", "x", "'b/x'"},
      {{"a.txt", "y\\..\\a.txt"}, "--overwrite", "a.txt", "'y/../a.txt'"},
      {{"n.txt", "z\\..\\n.txt"}, "--keep", "n.txt", "'z/../n.txt'"},
  };
  int round = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.second_label + c.option);
    const std::string out = dir / ("out" + std::to_string(++round));
    if (c.option == "--overwrite") dir.WriteFile("out" + std::to_string(round) + "/" + c.path, "mine");
    std::vector<ArchiveMember> members;
    for (const std::string &name : c.names) members.push_back({name, 1, members.empty() ? "first" : "second"});
    const std::string archive = dir.WriteFile("same.ydz", members.empty() ? lone : BuildArchive(members));
    std::vector<std::string> args = {"unpack", archive, out};
    if (!c.option.empty()) args.push_back(c.option);
    const auto result = Ydr(args, "", dir.MakeDir("elsewhere"));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(ReadFile(out + "/" + c.path), "first");
    EXPECT_TRUE(Has(result.err, std::string(c.second_label) + ": lands on the same file")) << result.err;
    EXPECT_EQ(Count(result.err, "lands on the same file"), 1u) << result.err;
    EXPECT_TRUE(Has(result.err, "1 member failed")) << result.err;
    for (const std::string &path : PathsBelow(out)) EXPECT_FALSE(Has(path, ".part")) << path;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    // test says what unpack (without --flat) would leave out.
    if (c.option.empty()) {
      const auto tested = Ydr({"test", archive});
      EXPECT_EQ(tested.exit_status, 1);
      EXPECT_TRUE(Has(tested.err, std::string(c.second_label) + ": lands on the same file")) << tested.err;
    }
  }
  EXPECT_EQ(ReadFile(dir / "out3/s/h/j.txt"), "second");  // a UNC name below DEST too
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
        EXPECT_TRUE(results[run].exit_status != 0 || content == std::string(1, "AB"[run])) << i;
      }
    }
    EXPECT_EQ(PathsBelow(out).size(), static_cast<std::size_t>(kMembers));  // no temporary left
  }
}

TEST(ToolUnpackTest, ExistingFilesAreReplacedOrKeptOnlyWhenAsked) {
  TempDir dir;
  const std::string archive =
      dir.WriteFile("a.ydz", BuildArchive({{"d/new.txt", 1, "new"}, {"d/old.txt", 1, "from the archive"}}));
  dir.WriteFile("out/d/old.txt", "mine");
  const auto refused = Ydr({"unpack", archive, dir / "out"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_TRUE(Has(refused.err, "'d/old.txt'")) << refused.err;
  EXPECT_FALSE(fs::exists(dir / "out/d/new.txt"));  // refused before anything was written
  EXPECT_EQ(Ydr({"unpack", "--keep", archive, dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/d/old.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "out/d/new.txt"), "new");
  EXPECT_EQ(Ydr({"unpack", "--overwrite", archive, "--dest", dir / "out"}).exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "out/d/old.txt"), "from the archive");
}

TEST(ToolUnpackTest, OutputLimitsAreKept) {
  TempDir dir;
  const std::string big =
      dir.WriteFile("big.ydz", BuildArchive({{"small", 1, "s"}, {"large", 1, std::string(5 << 20, 'z')}}));
  const auto capped = Ydr({"unpack", "--max-output", "1M", big, dir / "capped"});
  EXPECT_EQ(capped.exit_status, 1);
  EXPECT_TRUE(Has(capped.err, "--max-output")) << capped.err;
  EXPECT_EQ(PathsBelow(dir / "capped"), std::vector<std::string>{"small"});
  EXPECT_EQ(Ydr({"unpack", "--max-output", "6M", big, dir / "roomy"}).exit_status, 0);
}

// --only takes '/' and '\' alike, in the pattern and in the stored names (which the library
// writes with '\', and other writers may not); it fails when nothing matches or a match fails.
TEST(ToolUnpackTest, OnlyTakesEitherSeparatorAndFailsWhenNothingMatchesOrAMatchFails) {
  TempDir dir;
  std::string corrupt = ydr::test::MemberStream("x");
  corrupt[0] = static_cast<char>(0xFF);
  const std::string archive = dir.WriteFile("s.ydz", BuildArchive({{"docs\\a.txt", 1, "a"},
                                                                   {"notes/b.txt", 1, "b"},
                                                                   {"top.txt", 1, "t"},
                                                                   ArchiveMember::Raw("bad.log", corrupt)}));
  struct Case {
    const char *pattern;
    std::vector<std::string> unpacked;
    int exit_status;
  };
  const Case cases[] = {{"docs/*.txt", {"docs", "docs/a.txt"}, 0},
                        {"docs\\*.txt", {"docs", "docs/a.txt"}, 0},
                        {"notes/b.txt", {"notes", "notes/b.txt"}, 0},
                        {"notes\\b.txt", {"notes", "notes/b.txt"}, 0},
                        {"b.txt", {"notes", "notes/b.txt"}, 0},
                        {"*/a.txt", {"docs", "docs/a.txt"}, 0},
                        {"*.doc", {}, 1},
                        {"*.log", {}, 1}};
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pattern);
    const std::string out = dir / ("o" + std::to_string(n++));
    EXPECT_EQ(Ydr({"unpack", "--only", c.pattern, archive, out}).exit_status, c.exit_status);
    EXPECT_EQ(PathsBelow(out), c.unpacked);
  }
  EXPECT_TRUE(Has(Ydr({"unpack", archive, dir / "none", "--only", "*.doc"}).err, "no member matches '*.doc'"));
}

TEST(ToolArchiveTest, ControlCharactersInNamesAreEscaped) {
  TempDir dir;
  const std::string archive =
      dir.WriteFile("c.ydz", BuildArchive({{"a\nb.txt", 1, "x"}, {"\x1b[2Jclear", 1, "y"}, {"tab\there", 1, "z"}}));
  const auto listed = Ydr({"list", "-q", archive});
  EXPECT_EQ(listed.exit_status, 0);
  EXPECT_EQ(Count(listed.out, "\n"), 3u) << listed.out;  // one row per member, however named
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
  EXPECT_TRUE(Has(listed.out, "a\\nb.txt")) << listed.out;
  EXPECT_TRUE(Has(listed.out, "\\x1b[2Jclear")) << listed.out;
  const auto bad = dir.WriteFile("d.ydz", BuildArchive({ArchiveMember::Raw("evil\x1b]0;title\x07", "garbage!")}));
  const auto tested = Ydr({"test", bad});
  EXPECT_EQ(tested.exit_status, 1);
  EXPECT_EQ(tested.err.find('\x1b'), std::string::npos) << tested.err;
}

TEST(ToolArchiveTest, ListingsShowSizesSavingsAndSlashes) {
  TempDir dir;
  const std::string archive = dir.WriteFile(
      "l.ydz", BuildArchive({{"docs\\a.txt", 1, std::string(1000, 'a')}, {"docs\\", 3, ""}, {"gone", 2, ""}}));
  const auto listed = Ydr({"list", archive});
  EXPECT_EQ(listed.exit_status, 0);
  for (const char *shown :
       {"Original      Stored   Saved  Name", "      1000", "docs/a.txt", "gone  (not-packed)", "1 file, 1 folder"}) {
    EXPECT_TRUE(Has(listed.out, shown)) << shown << "\n" << listed.out;  // the size from the trailer
  }
  EXPECT_TRUE(Has(Ydr({"list", "-v", archive}).out, "folder"));
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

// What each run says and how it exits: counts with the right number, the bytes of a member
// that failed not counted as unpacked, test's results on standard output; usage errors.
TEST(ToolUnpackTest, SummariesCountWhatWasDone) {
  TempDir dir;
  std::string mismatch = ydr::test::MemberStream(std::string(5000, 'm'));
  mismatch[mismatch.size() - 6] ^= 1;  // the whole content decodes, then the CRC-32 differs
  const std::string one = dir.WriteFile("one.ydz", BuildArchive({{"ok.txt", 1, "ok"}}));
  const std::string two =
      dir.WriteFile("two.ydz", BuildArchive({{"ok.txt", 1, "ok"}, ArchiveMember::Raw("bad.txt", mismatch)}));
  const std::string missing = dir / "missing.ydz";
  struct Case {
    std::vector<std::string> args;
    int exit_status;
    std::string err, out;
  };
  std::vector<Case> cases = {
      {{"unpack", one, dir / "o1"}, 0, "unpacked 1 of 1 member, 2 bytes", ""},
      {{"unpack", two, dir / "o2"}, 1, "unpacked 1 of 2 members, 2 bytes", ""},
      {{"unpack", two, dir / "o3"}, 1, "1 member failed", ""},
      {{"unpack", "--keep", one, dir / "o1"}, 0, "kept 1 existing file as it was", ""},
      {{"test", one}, 0, "1 member, 0 failed", ""},
      {{"test", two}, 1, "2 members, 1 failed", ""},
      {{"test", "-v", two}, 1, "'bad.txt'", "'ok.txt': OK\n"},
      {{"list", one}, 0, "", "1 file, 0 folders"},
      {{"list", dir.WriteFile("not.ydz", "hello")}, 1, "is not an archive", ""},
      {{"test", missing}, 1, "cannot open '" + missing + "': No such file or directory", ""},
      {{"list", dir.path()}, 1, "", ""},  // a folder
      {{"pack", "a.ydz"}, 2, "", ""},
      {{"unpack"}, 2, "", ""},
      {{"unpack", "a", "b", "c"}, 2, "", ""},
      {{"list"}, 2, "", ""},
      {{"unpack", "a", "--bogus"}, 2, "", ""},
      {{"unpack", "--max-output", "lots", one, dir / "x"}, 2, "", ""},
      {{"unpack", "--keep", "--overwrite", one, dir / "o1"}, 2, "", ""},
  };
  for (const char *bad : {"0", "x", "-1", "2000", ""}) {
    cases.push_back({{"pack", std::string("--jobs=") + bad, dir / "b.ydz", one}, 2, "--jobs takes a number", ""});
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0] + " " + c.args.back());
    const auto result = Ydr(c.args, "", dir.path());
    EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
    EXPECT_TRUE(Has(result.err, c.err)) << result.err;
    EXPECT_TRUE(Has(result.out, c.out)) << result.out;
    EXPECT_FALSE(Has(result.err, ": OK")) << result.err;
  }
}

}  // namespace
