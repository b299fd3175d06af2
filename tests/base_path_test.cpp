// Paths: absolute form and its 260-unit limit, folders made, files opened; folder searches.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>  // FindClose
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/path_absolute.h"
#include "base/ydr_base.h"
#include "platform/files.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/temp_dir.h"

namespace ydr::base {
namespace {

using portable::Utf8FromWide;
using portable::WString;
using test::W;
constexpr std::uint32_t kDir = platform::kFileAttributeDirectory;
constexpr std::uint32_t kFile = platform::kFileAttributeArchive;
constexpr std::uint32_t kLink = platform::kFileAttributeReparsePoint;

// Never above the root; a drive-relative path ("C:docs") against the current folder.
TEST(FoldAbsolutePathTest, FoldsDotsSeparatorsAndDrives) {
  const WString cwd = W("/home/user");
  const std::pair<const char *, const char *> cases[] = {
      {"a\\b\\", "/home/user/a/b/"},   {"a/./b/../c", "/home/user/a/c"},
      {"../../../../x", "/x"},         {"/", "/"},
      {"//a//b//", "/a/b/"},           {"C:\\docs\\..\\a.txt", "C:/a.txt"},
      {"C:docs", "C:/home/user/docs"}, {"C:", "C:/home/user"}};
  for (const auto &[utf8, expected] : cases) {
    SCOPED_TRACE(utf8);
    const WString path = W(utf8);
    const auto folded = FoldAbsolutePath(path.data(), path.size(), cwd);
    ASSERT_TRUE(folded.has_value());
    EXPECT_EQ(Utf8FromWide(*folded), expected);
  }
  EXPECT_FALSE(FoldAbsolutePath(nullptr, 0, cwd).has_value());
}

// A refused path leaves the destination empty; none is written past its 260 units.
TEST(PathToAbsoluteTest, ResultsFitInTheBufferWithTheirTerminator) {
  test::TempDir dir;
  test::ScopedCurrentDirectory cwd(dir.path());
  const std::string here = std::filesystem::canonical(std::filesystem::u8path(dir.path())).generic_u8string();
  const std::string root = here.substr(0, here.find('/') + 1);  // "/" or "C:/"
  const std::string longest = root + std::string(259 - root.size(), 'x');
  const std::pair<std::string, std::string> cases[] = {
    {"sub\\file.txt", here + "/sub/file.txt"},
    {longest, longest},
    {longest + "x", ""},
    {root + "a/" + std::string(300, 'x') + "/../b", root + "a/b"},  // folded first
    {"", ""},
#if defined(_WIN32)
    // A network path keeps its server and share, where ".." stops as at a drive's root.
    {"\\\\server\\share\\docs\\a.txt", "//server/share/docs/a.txt"},
    {"//server/share/docs/", "//server/share/docs/"},
    {"\\\\server\\share\\docs\\..\\..\\..\\b.txt", "//server/share/b.txt"},
    {"D:/x/./y/../z", "D:/x/z"},
#endif
  };
  for (auto [path, absolute] : cases) {
    SCOPED_TRACE(path);
    std::replace(absolute.begin(), absolute.end(), '/', static_cast<char>(std::filesystem::path::preferred_separator));
    test::GuardedBuffer<unsigned short> dst(kPathUnits);
    EXPECT_EQ(YdrPathToAbsolute(W(path).c_str(), dst.data()) != 0, !absolute.empty());
    EXPECT_EQ(Utf8FromWide(dst.data()), absolute);
  }
  unsigned short dst[kPathUnits];
  EXPECT_EQ(YdrPathToAbsolute(nullptr, dst), 0);
  EXPECT_EQ(YdrPathToAbsolute(W("a").c_str(), nullptr), 0);
}

TEST(PathCreateTest, MakesTheFoldersAPathLeadsThrough) {
  test::TempDir dir;
  const auto is_directory = [&](const char *relative) {
    return std::filesystem::is_directory(std::filesystem::u8path(dir / relative));
  };
  const std::pair<const char *, const char *> cases[] = {{"a/b/c.txt", "a/b"}, {"d/e/f/", "d/e/f"}, {"j//k/l", "j/k"}};
  for (const auto &[relative, folder] : cases) {
    SCOPED_TRACE(relative);
    EXPECT_NE(YdrPathCreate(W(dir / relative).c_str()), 0);
    EXPECT_NE(YdrPathCreate(W(dir / relative).c_str()), 0);  // again: they exist
    EXPECT_TRUE(is_directory(folder));
  }
  EXPECT_FALSE(is_directory("a/b/c.txt"));  // the file's name is left alone
  dir.WriteFile("file", "x");
  EXPECT_EQ(YdrPathCreate(W(dir / "file/sub/x.txt").c_str()), 0);  // a file is in the way
  EXPECT_EQ(YdrPathCreate(W("").c_str()), 0);
  EXPECT_EQ(YdrPathCreate(nullptr), 0);
  EXPECT_NE(YdrPathCreate(W("/").c_str()), 0);
}

TEST(WfopenTest, OpensWidePathsWithWideModes) {
  test::TempDir dir;
  const WString path = W(dir / "한글 이름.txt");
  FILE *out = _u__wfopen(path.c_str(), W("wb").c_str());
  ASSERT_NE(out, nullptr);
  std::fputs("contents", out);
  std::fclose(out);
  FILE *in = _u__wfopen(path.c_str(), W("rb").c_str());
  ASSERT_NE(in, nullptr);
  std::fclose(in);
  EXPECT_EQ(test::ReadFile(dir / "한글 이름.txt"), "contents");  // and reading left it whole
  EXPECT_EQ(_u__wfopen(W(dir / "missing").c_str(), W("rb").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(path.c_str(), W("r한").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(nullptr, W("rb").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(path.c_str(), nullptr), nullptr);
}

// Each entry found: its name, its attributes among `mask`, its size; sorted on Windows, which
// lists unordered, else in the search's fixed order.
using Entry = std::tuple<std::string, std::uint32_t, std::uint32_t>;
std::vector<Entry> Find(const std::string &pattern, std::uint32_t mask = ~0u) {
  std::vector<Entry> found;
  YDR_FIND_DATAW data;
  void *search = YdrFindFirstFileW(W(pattern).c_str(), &data);
  if (search == platform::InvalidHandleValue()) return found;
  do {
    found.emplace_back(Utf8FromWide(data.cFileName), data.dwFileAttributes & mask, data.nFileSizeLow);
  } while (YdrFindNextFileW(search, &data));
  EXPECT_TRUE(FindClose(search));  // the system's, or on POSIX the base library's
#if defined(_WIN32)
  std::sort(found.begin(), found.end(),
            [](const Entry &a, const Entry &b) { return W(std::get<0>(a)) < W(std::get<0>(b)); });
#endif
  return found;
}

// Ordinal: "Zed" before "a.txt"; U+1F600 is a surrogate pair, so before U+FFE6 (not so in UTF-8).
TEST(FindTest, DotEntriesFirstThenOrdinalUtf16Order) {
  test::TempDir dir;
  for (const char *name : {"b.txt", "a.txt", "￦.txt", "😀.txt"}) dir.WriteFile(name, "12345");
  dir.MakeDir("Zed");
  dir.MakeDir("sub");
  const std::vector<Entry> listed = {{".", kDir, 0},  {"..", kDir, 0},  {"Zed", kDir, 0}, {"a.txt", 0, 5},
                                     {"b.txt", 0, 5}, {"sub", kDir, 0}, {"😀.txt", 0, 5},  {"￦.txt", 0, 5}};
  EXPECT_EQ(Find(dir / "*.*", kDir), listed);
  // The root has no parent, so no dot entries.
  const auto root = Find("/*", 0);
  ASSERT_FALSE(root.empty());
  EXPECT_NE(std::get<0>(root[0]), ".");
  EXPECT_NE(std::get<0>(root[0]), "..");
}

// Only what the pattern matches; no search for no match, a missing folder or no name pattern.
TEST(FindTest, PatternsChooseTheNamesListed) {
  test::TempDir dir;
  for (const char *name : {"a.txt", "B.TXT", "ee.txt"}) dir.WriteFile(name);
  const std::pair<const char *, std::vector<Entry>> cases[] = {
      {"?.TXT", {{"B.TXT", 0, 0}, {"a.txt", 0, 0}}}, {"nothing*", {}}, {"missing-folder/*.*", {}}, {"", {}}};
  for (const auto &[pattern, entries] : cases) {
    SCOPED_TRACE(pattern);
    EXPECT_EQ(Find(dir / pattern, 0), entries);
  }
  YDR_FIND_DATAW data;
  EXPECT_EQ(YdrFindFirstFileW(nullptr, &data), platform::InvalidHandleValue());
  EXPECT_EQ(YdrFindFirstFileW(W("*").c_str(), nullptr), platform::InvalidHandleValue());
  EXPECT_EQ(YdrFindNextFileW(platform::InvalidHandleValue(), &data), 0);
#if !defined(_WIN32)
  // The close call refuses what is not a search.
  EXPECT_FALSE(FindClose(platform::InvalidHandleValue()));
  EXPECT_FALSE(FindClose(nullptr));
#endif
}

#if !defined(_WIN32)  // links and pipes as POSIX has them
TEST(FindTest, LinksAreFollowedButLoopsAreLeftOut) {
  test::TempDir dir;
  dir.MakeDir("tree/sub");
  dir.MakeDir("other");
  dir.WriteFile("tree/file", "abc");
  ASSERT_EQ(symlink("..", (dir / "tree/sub/up").c_str()), 0);              // back to an ancestor
  ASSERT_EQ(symlink(".", (dir / "tree/sub/self").c_str()), 0);             // to itself
  ASSERT_EQ(symlink("../../other", (dir / "tree/sub/aside").c_str()), 0);  // elsewhere: followed
  ASSERT_EQ(symlink("../file", (dir / "tree/sub/file-link").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "tree/sub/dangling").c_str()), 0);
  ASSERT_EQ(symlink("../tree", (dir / "other/back").c_str()), 0);  // a loop through two links
  ASSERT_EQ(mkfifo((dir / "tree/sub/pipe").c_str(), 0600), 0);

  const std::vector<Entry> listed = {{".", kDir, 0},
                                     {"..", kDir, 0},
                                     {"aside", kDir | kLink, 0},
                                     {"dangling", kFile | kLink, 0},
                                     {"file-link", kFile | kLink, 3}};
  EXPECT_EQ(Find(dir / "tree/sub/*.*"), listed);

  // A walk into every folder found, as an archiver makes it, ends.
  std::vector<std::string> folders = {dir / "tree"};
  for (std::size_t i = 0; i < folders.size() && folders.size() < 50; ++i) {
    for (const auto &[name, attributes, size] : Find(folders[i] + "/*.*", kDir)) {
      if (name != "." && name != ".." && attributes != 0) folders.push_back(folders[i] + "/" + name);
    }
  }
  // tree, tree/sub, tree/sub/aside (its link back to tree is left out)
  EXPECT_EQ(folders.size(), 3u);
}
#endif

}  // namespace
}  // namespace ydr::base
