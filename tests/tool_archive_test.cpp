// ydr pack / unpack / list / test: what the command adds to the archive core, its exits and messages.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
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
using ydr::test::TreeBelow;
using ydr::test::Ydr;

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

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

// A pack run in `work` (dir/a.txt, dir/sub/b.txt, x.txt; another x.txt above), with at a.ydz
// nothing ('-'), an old archive ('f'), a folder ('d'), a link ('l'), a dangling link ('n'), a pipe ('p').
struct PackRun {
  char at;
  std::string command;
  int exit_status;
  std::string said;
  std::vector<std::string> stored = {};  // the archive's names; none: not looked at
};

// A failed run leaves no archive and ARCHIVE as it was; -f replaces only a file or a link's file.
TEST(ToolPackTest, AnArchiveIsWrittenWholeOrNotAtAll) {
  const std::vector<std::string> dir = {"dir\\", "dir\\a.txt", "dir\\sub\\", "dir\\sub\\b.txt"};
  const std::vector<std::string> folders_first = {"dir\\", "dir\\sub\\", "dir\\a.txt", "dir\\sub\\b.txt"};
  std::vector<PackRun> runs = {
      {'-', "pack a.ydz dir dir", 0, "left out 'dir': packed already", dir},
      {'-', "pack a.ydz dir dir/sub", 0, "left out 'dir/sub'", folders_first},
      {'-', "pack a.ydz x.txt ../x.txt", 1, "left out '../x.txt': it would unpack onto 'x.txt', as 'x.txt' does"},
      {'f', "pack -f a.ydz a.ydz", 1, "nothing to pack; no archive written"},
  };
  std::vector<std::pair<char, std::string>> forced = {{'f', "packed 4 members"}, {'d', "cannot create 'a.ydz'"}};
  std::vector<std::pair<std::string, std::string>> failing = {
      {"nosuchdir", "cannot open 'nosuchdir': No such file or directory"},
      {"no1 dir no2", "2 paths could not be packed"},
  };
#if !defined(_WIN32)
  forced.insert(forced.end(), {{'l', "packed 4 members"},
                               {'n', "cannot write an archive into 'a.ydz'"},
                               {'p', "cannot write an archive into 'a.ydz': not a regular file"}});
  failing.insert(failing.end(), {{"dir pipe", "cannot pack 'pipe': not a regular file"},
                                 {"bad", "left out 'bad/back\\slash': its name holds a backslash"},
                                 {"bad", "'bad/bad\\xff'"}});
  if (geteuid() != 0)
    failing.push_back({"dir locked/secret", "cannot read 'locked/secret'"});  // the superuser reads any file
#endif
  for (const auto &[at, message] : forced) {
    runs.push_back({at, "pack a.ydz dir", 1, "'a.ydz' already exists; not replaced (use -f)"});
    const bool packed = Has(message, "packed");
    runs.push_back({at, "pack --force a.ydz dir", packed ? 0 : 1, message, packed ? dir : std::vector<std::string>{}});
  }
  for (const char at : {'-', 'f'}) {
    for (const auto &[paths, message] : failing) runs.push_back({at, "pack -f a.ydz " + paths, 1, message});
  }
  for (const PackRun &run : runs) {
    SCOPED_TRACE(std::string(1, run.at) + ": " + run.command);
    TempDir top;
    top.WriteFile("x.txt", "another");
    const std::string work = top.MakeDir("work"), archive = work + "/a.ydz";
    top.WriteFile("work/dir/a.txt", "a");
    top.WriteFile("work/dir/sub/b.txt", "b");
    top.WriteFile("work/x.txt", "mine");
    if (run.at == 'f') top.WriteFile("work/a.ydz", kOldArchive);
    if (run.at == 'd') top.MakeDir("work/a.ydz");
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo((work + "/pipe").c_str(), 0600), 0);
    top.WriteFile("work/bad/back\\slash", "x");
    top.WriteFile("work/bad/back/slash", "x");  // where the one above would land: it is not the one left out
    top.WriteFile("work/bad/bad\xff", "x");
    top.WriteFile("work/locked/secret", "x");
    ASSERT_EQ(chmod((work + "/locked/secret").c_str(), 0), 0);
    if (run.at == 'l') fs::create_symlink(top.WriteFile("real.ydz", kOldArchive), archive);
    if (run.at == 'n') fs::create_symlink("gone/x.ydz", archive);
    ASSERT_TRUE(run.at != 'p' || mkfifo(archive.c_str(), 0600) == 0);
#endif
    const fs::file_type type = fs::symlink_status(archive).type();
    const std::vector<std::string> before = PathsBelow(top.path());
    const auto result = Ydr(ydr::test::Words(run.command), "", work);
    EXPECT_EQ(result.exit_status, run.exit_status) << result.err;
    EXPECT_TRUE(Has(result.err, run.said)) << result.err;
    if (run.at != '-' || run.exit_status != 0) {
      EXPECT_EQ(fs::symlink_status(archive).type(), type);  // a link stays a link, a pipe a pipe
      EXPECT_EQ(PathsBelow(top.path()), before);            // no temporary left, nothing made beside
    }
    EXPECT_TRUE(run.exit_status == 0 || !fs::is_regular_file(archive) || ReadFile(archive) == kOldArchive);
    EXPECT_TRUE(run.stored.empty() || StoredNames(ReadFile(archive)) == run.stored);
  }
}

// Any thread count writes one thread's archive, messages and exit, past the queue's bound too.
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
  dir.WriteFile("t/d2/big", std::string(65 << 20, 'z'));
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo((dir / "t/d3/pipe").c_str(), 0600), 0);
#endif
  std::string first;  // messages and archive
  for (const std::string threads : {"1", "2", "3", "8"}) {
    SCOPED_TRACE(threads);
    const std::string archive = "a" + threads + ".ydz";
    const auto packed = Ydr({"pack", "-j", threads, archive, "t"}, "", dir.path());
    EXPECT_EQ(packed.exit_status, 0) << packed.err;
    const std::string err = packed.err.substr(0, packed.err.find(" in "));
#if !defined(_WIN32)
    EXPECT_TRUE(Has(err, "'t/d3/pipe': not a regular file")) << err;
#endif
    EXPECT_EQ(Ydr({"pack", "-j", threads, "m" + archive, "t", "missing"}, "", dir.path()).exit_status, 1);
    EXPECT_FALSE(fs::exists(dir / ("m" + archive)));
    const std::string outcome = err + "\n" + ReadFile(dir / archive);
    if (first.empty()) first = outcome;
    EXPECT_TRUE(outcome == first) << err;
  }
  EXPECT_EQ(Ydr({"test", dir / "a8.ydz"}).exit_status, 0);
}

#if !defined(_WIN32)  // a file-size limit as POSIX sets it
TEST(ToolArchiveTest, FailedWritesLeaveNothingBehind) {
  TempDir dir;
  std::mt19937 random(7);
  std::string noise(3 << 20, '\0');
  for (char &c : noise) c = static_cast<char>(random());
  dir.WriteFile("src/noise.bin", noise);
  dir.WriteFile("src/small.txt", "small");
  // Set by a shell: lowered in this process, the coverage counts of the runs would be lost.
  const auto limited = [&](std::vector<std::string> args) {
    args.insert(args.begin(),
                {"/bin/sh", "-c", "ulimit -f 1024; exec " + ydr::test::ShellWords(YDR_TOOL) + " \"$@\"", "sh"});
    return ydr::test::RunProcess(args, {}, "", dir.path());
  };
  const auto packed = limited({"pack", dir / "a.ydz", "src"});
  EXPECT_EQ(packed.exit_status, 1);
  EXPECT_TRUE(Has(packed.err, "cannot write '" + (dir / "a.ydz") + "'")) << packed.err;
  EXPECT_EQ(PathsBelow(dir.path()), (std::vector<std::string>{"src", "src/noise.bin", "src/small.txt"}));
  ASSERT_EQ(Ydr({"pack", dir / "a.ydz", "src"}, "", dir.path()).exit_status, 0);
  const auto unpacked = limited({"unpack", dir / "a.ydz", dir / "out"});
  EXPECT_EQ(unpacked.exit_status, 1);
  EXPECT_EQ(Count(unpacked.err, "'src/noise.bin'"), 1u) << unpacked.err;
  EXPECT_EQ(TreeBelow(dir / "out"), (std::vector<std::string>{"src/", "src/small.txt=small"}));
}
#endif

// Both runs pass the existing-file check before either writes: only the move into place keeps
// one from replacing the other's files.
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
    std::string contents;  // each member's file, in order
    for (int i = 0; i < kMembers; ++i) contents += ReadFile(out + "/f" + std::to_string(i));
    EXPECT_EQ(contents.size(), static_cast<std::size_t>(kMembers));
    EXPECT_EQ(contents.find_first_not_of("AB"), std::string::npos) << contents;
    for (int run = 0; run < 2; ++run) {
      EXPECT_TRUE(results[run].exit_status != 0 || contents == std::string(kMembers, "AB"[run])) << contents;
    }
    EXPECT_EQ(PathsBelow(out).size(), static_cast<std::size_t>(kMembers));  // no temporary left
  }
}

// A run from an empty folder: exit, standard error (each once), standard output, and what is
// left in the folder its last word names ("*": not looked at).
struct CommandRun {
  std::string command;
  int exit_status;
  std::vector<std::string> said = {};
  std::vector<std::string> shown = {};
  std::vector<std::string> left = {"*"};
  std::string unsaid = {};  // on neither output
};

TEST(ToolArchiveTest, EachRunExitsSaysAndLeavesWhatItShould) {
  TempDir dir;
  const std::string cwd = dir.MakeDir("cwd");
  const auto write = [&](const std::string &name, const std::vector<ArchiveMember> &members) {
    dir.WriteFile(name, BuildArchive(members));
  };
  dir.WriteFile("tree/a.txt", "alpha");
  dir.WriteFile("tree/sub/한글 b.txt", "bravo");
  dir.MakeDir("tree/nothing");
  std::vector<std::string> tree = {"tree/", "tree/a.txt=alpha", "tree/nothing/", "tree/sub/",
                                   "tree/sub/한글 b.txt=bravo"};
#if !defined(_WIN32)
  fs::create_symlink(dir / "tree/a.txt", dir / "tree/link");  // packed as the file it names
  tree.insert(tree.begin() + 2, "tree/link=alpha");
#endif
  std::string corrupt = ydr::test::MemberStream("corrupt member data corrupt member data");
  corrupt[0] = static_cast<char>(0xFF);  // block type 3
  std::string mismatch = ydr::test::MemberStream("trailer mismatch");
  mismatch[mismatch.size() - 6] ^= 1;  // the whole content decodes, then the CRC-32 differs
  for (const auto &[name, stream] : {std::pair{"corrupt", corrupt}, std::pair{"mismatch", mismatch}}) {
    write(std::string(name) + ".ydz",
          {{"before.txt", 1, "ok"}, ArchiveMember::Raw(std::string(name) + ".txt", stream), {"after.txt", 1, "ok"}});
  }
  std::vector<ArchiveMember> many_folders;
  for (int i = 0; i < 300; ++i)
    many_folders.push_back({"d" + std::to_string(i % 100) + "\\f" + std::to_string(i), 1, "f"});
  write("folders.ydz", many_folders);
  write("ex.ydz", {{"d/new.txt", 1, "new"}, {"d/old.txt", 1, "from the archive"}});
  dir.WriteFile("ex/d/old.txt", "mine");
  write("big.ydz", {{"small", 1, "s"}, {"large", 1, std::string(5 << 20, 'z')}});
  write(
      "only.ydz",
      {{"docs\\a.txt", 1, "a"}, {"notes/b.txt", 1, "b"}, {"top.txt", 1, "t"}, ArchiveMember::Raw("bad.log", corrupt)});
  write("names.ydz", {{"a\nb.txt", 1, "x"}, {"\x1b[2Jclear", 1, "y"}, ArchiveMember::Raw("evil\x1b]0;\x07", "bad")});
  write("sizes.ydz",
        {{"docs\\a.txt", 1, std::string(1000, 'a')}, {"docs\\", 3, ""}, {"gone", 2, ""}, {"grew", 1, "x"}});
  dir.WriteFile("not.ydz", "hello");
  std::string mixed;
  for (int i = 0; i < 20000; ++i) mixed += static_cast<char>(i % 7 == 0 ? (i * 7919) % 251 : 'a' + i % 3);
  dir.WriteFile("mixed.txt", mixed);
  // Members landing on one path: the first holds "first", the others "second".
  write("land.ydz", {{"../../../a.txt", 1, "first"}, {"x\\..\\a.txt", 1, "second"}});
  write("flat.ydz", {{"a\\x", 1, "first"}, {"b\\x", 1, "second"}});
  // An archive cut in half, and one whose 250000 members all start past its end.
  std::vector<ArchiveMember> members;
  for (int i = 0; i < 20; ++i)
    members.push_back({"m" + std::to_string(i), 1, std::string(3000, static_cast<char>('a' + i))});
  const std::string whole = BuildArchive(members);
  dir.WriteFile("half.ydz", whole.substr(0, whole.size() / 2));
  const std::string many = BuildArchive(std::vector<ArchiveMember>(250000, ArchiveMember::Raw("", "x")));
  dir.WriteFile("cut.ydz", many.substr(0, Get32(many, 48 + 4)));
  // A member cut off, then forty records on one stream: refused whole, none decoded.
  std::vector<ArchiveMember> sharing = {{"cut", 1, "c"}};
  for (int i = 0; i < 40; ++i) sharing.push_back({"copy" + std::to_string(i), 1, "shared"});
  std::string shared_bytes = BuildArchive(sharing);
  Put32(&shared_bytes, 48 + 8, 0xFFFFFFFF);
  for (std::size_t at = 48 + 64; at < 48 + 32 * 41; at += 32)
    shared_bytes.replace(at + 4, 8, shared_bytes, 48 + 32 + 4, 8);
  dir.WriteFile("shared.ydz", shared_bytes);

  const std::string landed = ": lands on the same file";
  const std::vector<std::string> around = {"after.txt=ok", "before.txt=ok"}, none = {"(no folder)"};
  const std::string cut_short = "cut short: the data of 250000 members lie past its end";
  const std::string shared = "40 members share or overlap their data";
  std::vector<CommandRun> runs = {
      // Stored names land relative to DEST; pack -v, list and test -v show each name as given, with '/'.
      {"pack -v ../tree.ydz ../tree", 0, {"packed '../tree/sub/한글 b.txt'"}},
      {"list -q ../tree.ydz", 0, {}, {"  ../tree/sub/한글 b.txt\n"}},
      {"test -v ../tree.ydz", 0, {}, {"'../tree/sub/한글 b.txt': OK"}},
      {"unpack ../tree.ydz ../tree-out", 0, {}, {}, tree},
      {"unpack --flat --only *.txt ../tree.ydz ../flat-out", 0, {}, {}, {"a.txt=alpha", "한글 b.txt=bravo"}},
      // With few descriptors, the folders held open are given back, not every member failed.
      {"unpack ../folders.ydz ../folders", 0, {"unpacked 300 of 300 members"}},
      // `pack` and `list` state one figure, the space saved, and state it the same way.
      {"pack ../mixed.ydz ../mixed.txt", 0, {"packed 1 member (1 file), 20000 bytes into 5089 (74.6% saved)"}},
      {"list ../mixed.ydz", 0, {}, {"     20000        5089   74.6%  1 file, 0 folders"}},
      // A damaged member is named once, with why, never left under its name, its bytes not counted.
      {"unpack ../mismatch.ydz ../mismatch",
       1,
       {"unpacked 2 of 3 members, 4 bytes", "'mismatch.txt'", "CRC-32 or length"},
       {},
       around},
      {"test -v ../mismatch.ydz",
       1,
       {"3 members, 1 failed", "'mismatch.txt'", "CRC-32 or length"},
       {"'after.txt': OK\n", "'before.txt': OK\n"}},
      {"unpack ../corrupt.ydz ../corrupt", 1, {"'corrupt.txt'", "damaged or incomplete"}, {}, around},
      // Existing files: all refused before anything is written, or kept, or replaced.
      {"unpack ../ex.ydz ../ex", 1, {"'d/old.txt'"}, {}, {"d/", "d/old.txt=mine"}},
      {"unpack --keep ../ex.ydz ../ex",
       0,
       {"kept 1 existing file as it was"},
       {},
       {"d/", "d/new.txt=new", "d/old.txt=mine"}},
      {"unpack --overwrite ../ex.ydz --dest ../ex", 0, {}, {}, {"d/", "d/new.txt=new", "d/old.txt=from the archive"}},
      {"unpack --max-output 1M ../big.ydz ../capped", 1, {"--max-output"}, {}, {"small=s"}},
      {"unpack --max-output 6M ../big.ydz ../roomy", 0, {}, {}, {"large=" + std::string(5 << 20, 'z'), "small=s"}},
      // --only takes '/' and '\' alike in the pattern and the stored names; the class checks the rest.
      {"unpack --only docs/*.txt ../only.ydz ../o1", 0, {}, {}, {"docs/", "docs/a.txt=a"}},
      {"unpack --only notes\\b.txt ../only.ydz ../o2", 0, {}, {}, {"notes/", "notes/b.txt=b"}},
      {"unpack --only *.doc ../only.ydz ../o3/new", 1, {"no member matches '*.doc'"}, {}, none},
      {"unpack --only *.log ../only.ydz ../o4", 1, {"'bad.log'"}, {}, {}},
      // Of members landing on one path the first is unpacked, even with --overwrite, the second named.
      {"unpack ../land.ydz ../land", 1, {"'x/../a.txt'" + landed, "1 member failed"}, {}, {"a.txt=first"}},
      {"unpack --overwrite ../land.ydz ../over", 1, {"'x/../a.txt'" + landed, "1 member failed"}, {}, {"a.txt=first"}},
      {"test ../land.ydz", 1, {"'x/../a.txt'" + landed}},
      {"unpack --flat ../flat.ydz ../flat", 1, {"'b/x'" + landed, "1 member failed"}, {}, {"x=first"}},
      // An archive cut short is reported once, not once per member.
      {"unpack ../half.ydz ../half",
       1,
       {"cut short", "the data of 2 members lie past its end; they were not unpacked", "18 members failed"},
       {},
       {"*"},
       "'m1"},
      {"test ../cut.ydz", 1, {"cut short", cut_short}},
      {"unpack ../cut.ydz ../cut", 1, {"cut short", cut_short}},
      {"unpack ../shared.ydz ../shared", 1, {shared}, {}, none},
      {"test -v ../shared.ydz", 1, {shared, ", 41 failed"}, {}, {"*"}, ": OK"},
      // Listings: sizes from the trailer, savings, '/' shown; control characters escaped.
      {"list ../sizes.ydz",
       0,
       {},
       {"Original      Stored   Saved  Name\n----------  ----------  ------  ----\n", "      1000", "docs/a.txt",
        "gone  (not-packed)", "2 files, 1 folder"}},
      {"list -v ../sizes.ydz", 0, {}, {"grew", "docs/", "folder"}},
      {"list -q ../names.ydz", 0, {}, {"a\\nb.txt\n", "\\x1b[2Jclear\n"}},
      {"test ../names.ydz", 1},
      {"list ../not.ydz", 1, {"'../not.ydz' is not an archive"}},
      {"test ../missing.ydz", 1, {"cannot open '../missing.ydz': No such file or directory"}},
      {"list ..", 1, {"cannot open '..': not a regular file"}},
      {"pack a.ydz", 2, {"pack needs ARCHIVE and at least one PATH"}},
      {"unpack", 2, {"unpack needs ARCHIVE and at most one DEST"}},
      {"unpack a b c", 2, {"unpack needs ARCHIVE and at most one DEST"}},
      {"list", 2, {"list needs ARCHIVE"}},
      {"test", 2, {"test needs ARCHIVE"}},
      {"unpack --max-output lots ../tree.ydz ../lots", 2, {"--max-output takes a size"}, {}, none},
      {"unpack --keep --overwrite ../tree.ydz ../both", 2, {"--overwrite and --keep exclude one another"}, {}, none},
  };
  for (const char *jobs : {"0", "x", "2000", ""}) {
    runs.push_back({"pack --jobs=" + std::string(jobs) + " ../b.ydz ../tree.ydz", 2, {"--jobs takes a number"}});
  }
#if !defined(_WIN32)
  // Links and pipes planted inside DEST are named, never written through or opened (even with
  // --overwrite); a DEST link the user chose is followed.
  const std::string dest = dir.MakeDir("dest");
  fs::create_directory_symlink(dir / "outside", dest + "/linked");
  fs::create_symlink(dir.WriteFile("outside/secret.txt", "keep me"), dest + "/file-link.txt");
  ASSERT_EQ(mkfifo((dest + "/pipe.txt").c_str(), 0600), 0);
  fs::create_directory_symlink(dest, dir / "dest-link");
  write("planted.ydz",
        {{"linked\\", 3, ""}, {"file-link.txt", 1, "overwritten"}, {"pipe.txt", 1, "blocked?"}, {"fine", 1, "fine"}});
  runs.push_back({"unpack --overwrite ../planted.ydz ../dest-link",
                  1,
                  {"'linked/'", "'file-link.txt'", "'pipe.txt'"},
                  {},
                  {"file-link.txt@", "fine=fine", "linked@", "pipe.txt|"}});
  // Few descriptors to spare, as under ulimit -n 12 (the runner's three pipes take six).
  const int lowest_free = dup(0);
  ASSERT_GE(lowest_free, 0);
  close(lowest_free);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit lowered = before;
  lowered.rlim_cur = std::min(before.rlim_cur, static_cast<rlim_t>(std::max(lowest_free, 3)) + 9);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
#endif
  for (const CommandRun &run : runs) {
    SCOPED_TRACE(run.command);
    const std::vector<std::string> args = ydr::test::Words(run.command);
    const auto result = Ydr(args, "", cwd);
    EXPECT_EQ(result.exit_status, run.exit_status) << result.err;
    for (const std::string &said : run.said) EXPECT_EQ(Count(result.err, said), 1u) << said << "\n" << result.err;
    for (const std::string &shown : run.shown) EXPECT_TRUE(Has(result.out, shown)) << shown << "\n" << result.out;
    EXPECT_FALSE(Has(result.err, ": OK")) << result.err;               // test's results go to standard output
    EXPECT_FALSE(Has(result.out + result.err, "\x1b")) << result.out;  // control characters escaped
    // Every listing line's name starts under "Name", whatever the saving's width ("-x.x%" too).
    const std::size_t column = result.out.find("Name");
    std::istringstream lines(result.out);
    for (std::string line; column != std::string::npos && std::getline(lines, line);) {
      EXPECT_TRUE(line.size() <= column || (line[column] != ' ' && line.compare(column - 2, 2, "  ") == 0)) << line;
    }
    EXPECT_TRUE(run.unsaid.empty() || !Has(result.out + result.err, run.unsaid)) << result.out << result.err;
    if (run.left != std::vector<std::string>{"*"}) {
      EXPECT_EQ(TreeBelow(cwd + "/" + args.back()), run.left);
    }
  }
  EXPECT_TRUE(fs::is_empty(fs::u8path(cwd)));  // nothing lands where the command runs
#if !defined(_WIN32)
  EXPECT_EQ(TreeBelow(dir / "outside"), std::vector<std::string>{"secret.txt=keep me"});
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
#endif
}

}  // namespace
