// Directory search: the fixed order, patterns, attributes, and walks through links.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>  // FindClose
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/find_files.h"
#include "base/ydr_base.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace ydr::base {
namespace {

using platform::kFileAttributeArchive;
using platform::kFileAttributeDirectory;
using platform::kFileAttributeReparsePoint;
using portable::Utf8FromWide;
using test::W;

#if defined(_WIN32)
constexpr bool kCaseSensitiveFileNames = false;
#else
constexpr bool kCaseSensitiveFileNames = true;
#endif

struct Found {
  std::string name;
  std::uint32_t attributes;
  std::uint32_t size;
};

std::vector<Found> Find(const std::string &pattern) {
  std::vector<Found> found;
  YDR_FIND_DATAW data;
  void *search = YdrFindFirstFileW(W(pattern).c_str(), &data);
  if (search == platform::InvalidHandleValue()) return found;
  do {
    found.push_back({Utf8FromWide(data.cFileName), data.dwFileAttributes, data.nFileSizeLow});
  } while (YdrFindNextFileW(search, &data));
  EXPECT_TRUE(FindClose(search));  // the system's, or on POSIX the base library's
  return found;
}

// The names found, in the search's order on POSIX, where it is fixed; Windows lists in the
// file system's order, so there the names are compared sorted (by their UTF-8 bytes).
std::vector<std::string> Names(const std::vector<Found> &found) {
  std::vector<std::string> names;
  for (const Found &f : found) names.push_back(f.name);
#if defined(_WIN32)
  std::sort(names.begin(), names.end());
#endif
  return names;
}

TEST(FindTest, DotEntriesFirstThenOrdinalOrder) {
  test::TempDir dir;
  // Names that differ only in case are one name on Windows' file systems.
  const bool case_sensitive = kCaseSensitiveFileNames;
  for (const char *name : {"b.txt", "a.txt", "A.txt", "한.txt", "_x", "~y", "ß.txt", "😀.txt"}) {
    if (case_sensitive || std::string(name) != "A.txt") dir.WriteFile(name, "12345");
  }
  dir.MakeDir("Zed");
  dir.MakeDir("sub");
  const auto found = Find(dir / "*.*");
  std::vector<std::string> expected = {".",     "..",  "A.txt", "Zed",   "_x",     "a.txt",
                                       "b.txt", "sub", "~y",    "ß.txt", "한.txt", "😀.txt"};
  if (!case_sensitive) expected.erase(expected.begin() + 2);
  EXPECT_EQ(Names(found), expected);
  for (const Found &f : found) {
    SCOPED_TRACE(f.name);
    const bool folder = f.name == "." || f.name == ".." || f.name == "Zed" || f.name == "sub";
    EXPECT_EQ(f.attributes & kFileAttributeDirectory, folder ? kFileAttributeDirectory : 0u);
    EXPECT_EQ(f.size, folder ? 0u : 5u);
  }
  // The same search through a backslashed, drive-lettered spelling of the folder.
  const std::string drive = platform::HasDrive(dir.path()) ? "" : "C:";
  EXPECT_EQ(Names(Find(drive + dir.path() + "\\sub\\*")), (std::vector<std::string>{".", ".."}));
  // The root has no parent, so no dot entries.
  const auto root = Find("/*");
  ASSERT_FALSE(root.empty());
  EXPECT_NE(root[0].name, ".");
  EXPECT_NE(root[0].name, "..");
}

TEST(FindTest, PatternsMatchLikeTheFileSystemDoes) {
  test::TempDir dir;
  for (const char *name : {"a.txt", "B.TXT", "c.txt.bak", "d", "ee.txt"}) dir.WriteFile(name);
  const std::pair<const char *, std::vector<std::string>> cases[] = {
      {"*.txt", {"B.TXT", "a.txt", "ee.txt"}},
      {"?.TXT", {"B.TXT", "a.txt"}},
      {"d", {"d"}},
      {"D", {"d"}},
      {"*", {".", "..", "B.TXT", "a.txt", "c.txt.bak", "d", "ee.txt"}},
      {"*.bak", {"c.txt.bak"}},
      {"*t*t*b*", {"c.txt.bak"}},
      {"nothing*", {}},
      {"missing-folder/*.*", {}},
      {"", {}},  // no name pattern
  };
  for (const auto &[pattern, names] : cases) {
    SCOPED_TRACE(pattern);
    EXPECT_EQ(Names(Find(dir / pattern)), names);
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
  ASSERT_EQ(symlink("..", (dir / "tree/sub/up").c_str()), 0);                 // back to an ancestor
  ASSERT_EQ(symlink(".", (dir / "tree/sub/self").c_str()), 0);                // to itself
  ASSERT_EQ(symlink(dir.path().c_str(), (dir / "tree/sub/top").c_str()), 0);  // further up
  ASSERT_EQ(symlink("../../other", (dir / "tree/sub/aside").c_str()), 0);     // elsewhere: followed
  ASSERT_EQ(symlink("../file", (dir / "tree/sub/file-link").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "tree/sub/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "tree/sub/pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink("../tree", (dir / "other/back").c_str()), 0);  // a loop through two links

  const auto found = Find(dir / "tree/sub/*.*");
  EXPECT_EQ(Names(found), (std::vector<std::string>{".", "..", "aside", "dangling", "file-link"}));
  EXPECT_EQ(found[2].attributes, kFileAttributeDirectory | kFileAttributeReparsePoint);
  EXPECT_EQ(found[3].attributes, kFileAttributeArchive | kFileAttributeReparsePoint);
  EXPECT_EQ(found[4].attributes, kFileAttributeArchive | kFileAttributeReparsePoint);
  EXPECT_EQ(found[4].size, 3u);

  // A depth-first walk, as an archiver makes it, ends and visits each real folder a
  // bounded number of times.
  int folders = 0;
  std::function<void(const std::string &)> walk = [&](const std::string &folder) {
    ASSERT_LT(++folders, 50);
    for (const Found &f : Find(folder + "/*.*")) {
      if (f.name != "." && f.name != ".." && (f.attributes & kFileAttributeDirectory)) walk(folder + "/" + f.name);
    }
  };
  walk(dir / "tree");
  EXPECT_EQ(folders, 3);  // tree, tree/sub, tree/sub/aside (its link back to tree is left out)
}
#endif

}  // namespace
}  // namespace ydr::base
