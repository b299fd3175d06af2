// ydr pack as a careless user would run it: over an archive already there, with paths that
// fail, with folders named every way; what is left on disk, what the archive stores, and
// what the messages say.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using ydr::test::ProcessResult;
using ydr::test::ReadFile;
using ydr::test::TempDir;
using ydr::test::Ydr;

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

// The names of the entries directly in `folder`, sorted: a temporary left behind shows.
std::vector<std::string> Entries(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(fs::u8path(folder)))
    names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

// The member names an archive stores, read from its bytes (ASCII names only).
std::vector<std::string> StoredNames(const std::string &bytes) {
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return v;
  };
  std::vector<std::string> names;
  const std::uint32_t count = u32(32);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t record = 48 + 32 * std::size_t{i};
    const std::uint32_t offset = u32(record + 12);
    const std::size_t length = u32(record + 16) & 0xFFFF;
    std::string name;
    for (std::size_t j = 0; j < length; ++j) name += bytes.at(offset + 2 * j);
    names.push_back(name);
  }
  return names;
}

const char kOldArchive[] = "an archive from before";

// Whatever is at ARCHIVE stays as it was unless -f; with -f a regular file (or the file a
// link names) is replaced, and nothing that is not a regular file is written into.
TEST(ToolPackTest, AnExistingArchiveIsReplacedOnlyWithForce) {
  struct Case {
    const char *what;
    std::function<void(const TempDir &)> make;  // puts something at "a.ydz"
    int forced_exit;                            // of `pack -f`
    const char *forced_message;
    std::function<bool(const TempDir &)> forced_result;
  };
  const auto old_archive_kept = [](const TempDir &d) { return ReadFile(d / "a.ydz") == kOldArchive; };
  const auto replaced = [](const TempDir &d) { return StoredNames(ReadFile(d / "a.ydz")).size() == 2; };
  std::vector<Case> cases = {
      {"a regular file", [](const TempDir &d) { d.WriteFile("a.ydz", kOldArchive); }, 0, "packed 2 members", replaced},
      {"a folder", [](const TempDir &d) { d.MakeDir("a.ydz"); }, 1, "cannot create 'a.ydz'",
       [](const TempDir &d) { return fs::is_empty(d / "a.ydz"); }},
  };
#if !defined(_WIN32)
  cases.push_back({"a link to a file",
                   [](const TempDir &d) {
                     d.WriteFile("real.ydz", kOldArchive);
                     fs::create_symlink("real.ydz", d / "a.ydz");
                   },
                   0, "packed 2 members",
                   [](const TempDir &d) {
                     return fs::is_symlink(d / "a.ydz") && StoredNames(ReadFile(d / "real.ydz")).size() == 2;
                   }});
  cases.push_back({"a link that leads nowhere", [](const TempDir &d) { fs::create_symlink("gone/x.ydz", d / "a.ydz"); },
                   1, "cannot write an archive into 'a.ydz'",
                   [](const TempDir &d) { return fs::is_symlink(d / "a.ydz") && !fs::exists(d / "gone"); }});
  cases.push_back({"a pipe", [](const TempDir &d) { ASSERT_EQ(mkfifo((d / "a.ydz").c_str(), 0600), 0); }, 1,
                   "cannot write an archive into 'a.ydz': not a regular file",
                   [](const TempDir &d) { return fs::is_fifo(d / "a.ydz"); }});
#endif
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.WriteFile("src/one.txt", "one");
    c.make(dir);
    const std::vector<std::string> before = Entries(dir.path());
    const auto refused = Ydr({"pack", "a.ydz", "src"}, "", dir.path());
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_TRUE(Has(refused.err, "'a.ydz' already exists; not replaced (use -f)")) << refused.err;
    EXPECT_EQ(Entries(dir.path()), before);
    if (fs::is_regular_file(dir / "a.ydz")) {
      EXPECT_TRUE(old_archive_kept(dir));
    }

    const auto forced = Ydr({"pack", "--force", "a.ydz", "src"}, "", dir.path());
    EXPECT_EQ(forced.exit_status, c.forced_exit) << forced.err;
    EXPECT_TRUE(Has(forced.err, c.forced_message)) << forced.err;
    EXPECT_TRUE(c.forced_result(dir));
    EXPECT_EQ(Entries(dir.path()), before);  // no temporary left, nothing made beside
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
      {"only the archive itself", {"a.ydz"}, "cannot open 'a.ydz'", "nothing to pack; no archive written"},
  };
#if !defined(_WIN32)
  cases.push_back({"a pipe given by name", {"src", "pipe"}, "cannot pack 'pipe': not a regular file"});
  cases.push_back({"a name an archive cannot carry", {"bad"}, "its name holds a backslash"});
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
      dir.WriteFile("locked/secret", "x");
      ASSERT_EQ(chmod((dir / "locked/secret").c_str(), 0), 0);
#endif
      if (previous) dir.WriteFile("a.ydz", kOldArchive);
      const std::vector<std::string> before = Entries(dir.path());
      std::vector<std::string> args = {"pack", "-f", "a.ydz"};
      args.insert(args.end(), c.paths.begin(), c.paths.end());
      const auto result = Ydr(args, "", dir.path());
      EXPECT_EQ(result.exit_status, 1);
      const char *message = previous && c.message_over_an_archive != nullptr ? c.message_over_an_archive : c.message;
      EXPECT_TRUE(Has(result.err, message)) << result.err;
      EXPECT_EQ(Entries(dir.path()), before);
      if (previous) {
        EXPECT_EQ(ReadFile(dir / "a.ydz"), kOldArchive);
      }
    }
  }
}

// However a folder is named, the archive stores the format's separator throughout, and
// `pack -v`, `list` and `test -v` show every name the same way, with '/'.
TEST(ToolPackTest, StoredNamesUseOneSeparatorAndMessagesShowThemAsListDoes) {
  struct Case {
    std::string given;
    std::string stored_prefix;
  };
  const Case cases[] = {
      {"linux", "linux\\"}, {"linux/", "linux\\"}, {"./linux", ".\\linux\\"}, {"linux/android", "linux\\android\\"}};
  TempDir dir;
  dir.WriteFile("linux/android/binder.h", "binder");
  dir.WriteFile("linux/types.h", "types");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.given);
    const auto packed = Ydr({"pack", "-f", "-v", "inc.ydz", c.given}, "", dir.path());
    ASSERT_EQ(packed.exit_status, 0) << packed.err;
    const std::vector<std::string> names = StoredNames(ReadFile(dir / "inc.ydz"));
    for (const std::string &name : names) {
      EXPECT_EQ(name.find('/'), std::string::npos) << name;
      EXPECT_EQ(name.rfind(c.stored_prefix, 0), 0u) << name;
    }
    EXPECT_NE(std::find(names.begin(), names.end(), c.stored_prefix), names.end());
    std::string binder = c.stored_prefix + (c.given == "linux/android" ? "" : "android\\") + "binder.h";
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
  const std::size_t close = packed.err.find(" saved)");
  ASSERT_NE(close, std::string::npos) << packed.err;
  const std::size_t open = packed.err.rfind(" (", close);
  const std::string saving = packed.err.substr(open + 2, close - open - 2);
  const auto listed = Ydr({"list", "d.ydz"}, "", dir.path());
  const std::string totals = listed.out.substr(listed.out.rfind("-----\n") + 6);
  const std::size_t into = packed.err.find("bytes into ") + 11;
  EXPECT_TRUE(Has(totals, " " + packed.err.substr(into, open - into) + "  ")) << listed.out;  // the same bytes stored
  EXPECT_TRUE(Has(totals, " " + saving + "  ")) << saving << "\n" << listed.out;
  EXPECT_TRUE(Has(listed.out, "Saved  Name")) << listed.out;
}

}  // namespace
