// Paths: folding into absolute form, its 260-unit limit, making folders, opening files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "base/path_absolute.h"
#include "base/ydr_base.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/temp_dir.h"

namespace ydr::base {
namespace {

using portable::Utf8FromWide;
using portable::WString;
using test::W;

TEST(FoldAbsolutePathTest, FoldsDotsSeparatorsAndDrives) {
  const WString cwd = W("/home/user");
  const std::pair<const char *, const char *> cases[] = {
      {"a/b", "/home/user/a/b"},
      {"a\\b\\", "/home/user/a/b/"},
      {"./", "/home/user/"},
      {".", "/home/user"},
      {"..", "/home"},
      {"a/./b/../c", "/home/user/a/c"},
      {"../../../../x", "/x"},  // never above the root
      {"/x/../..", "/"},
      {"/", "/"},
      {"\\", "/"},
      {"//a//b//", "/a/b/"},
      {"C:\\docs\\..\\a.txt", "C:/a.txt"},
      {"c:/", "c:/"},
      {"C:docs", "C:/home/user/docs"},  // drive-relative: against the current folder
      {"C:", "C:/home/user"},
      {"\\\\server\\share\\x", "/server/share/x"},
      {"한글/파일.txt", "/home/user/한글/파일.txt"},
      {"a/b/..", "/home/user/a"},
      {"/../a/", "/a/"},
  };
  for (const auto &[utf8, expected] : cases) {
    SCOPED_TRACE(utf8);
    const WString path = W(utf8);
    const auto folded = FoldAbsolutePath(path.data(), path.size(), cwd);
    ASSERT_TRUE(folded.has_value());
    EXPECT_EQ(Utf8FromWide(*folded), expected);
  }
  EXPECT_FALSE(FoldAbsolutePath(nullptr, 0, cwd).has_value());
}

// An absolute path as the system writes it: its root ("/", or a drive's on Windows) and
// separator.
#if defined(_WIN32)
const std::string kRoot = "C:\\";
constexpr char kSeparator = '\\';
#else
const std::string kRoot = "/";
constexpr char kSeparator = '/';
#endif

TEST(PathToAbsoluteTest, ResultMustFitInTheBufferWithItsTerminator) {
  for (std::size_t length : {258u, 259u, 260u, 400u}) {
    SCOPED_TRACE(length);
    const WString path = W(kRoot + std::string(length - kRoot.size(), 'x'));
    test::GuardedBuffer<unsigned short> dst(kPathUnits);
    const int result = YdrPathToAbsolute(path.c_str(), dst.data());
    if (length <= 259) {
      EXPECT_NE(result, 0);
      EXPECT_EQ(WString(dst.data()), path);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(dst[0], 0);
    }
  }
  // ".." folding can bring an over-long spelling back under the limit.
  const std::string sep(1, kSeparator);
  const WString long_spelling = W(kRoot + "a" + sep + std::string(300, 'x') + sep + ".." + sep + "b");
  unsigned short dst[kPathUnits];
  EXPECT_NE(YdrPathToAbsolute(long_spelling.c_str(), dst), 0);
  EXPECT_EQ(Utf8FromWide(dst), kRoot + "a" + sep + "b");

  const WString empty;
  EXPECT_EQ(YdrPathToAbsolute(empty.c_str(), dst), 0);
  EXPECT_EQ(YdrPathToAbsolute(nullptr, dst), 0);
  EXPECT_EQ(YdrPathToAbsolute(long_spelling.c_str(), nullptr), 0);
}

TEST(PathToAbsoluteTest, RelativePathsUseTheCurrentDirectory) {
  test::TempDir dir;
  test::ScopedCurrentDirectory cwd(dir.path());
  unsigned short dst[kPathUnits];
  ASSERT_NE(YdrPathToAbsolute(W("sub\\file.txt").c_str(), dst), 0);
  std::string real = std::filesystem::canonical(std::filesystem::u8path(dir.path())).u8string();
  std::replace(real.begin(), real.end(), '/', kSeparator);
  std::replace(real.begin(), real.end(), '\\', kSeparator);
  EXPECT_EQ(Utf8FromWide(dst), real + kSeparator + "sub" + kSeparator + "file.txt");
}

#if defined(_WIN32)
// Windows' own path forms come out as the system writes them: a network path keeps its
// server and share (never folded into a folder of the current drive), and ".." stops at the
// share as it stops at a drive's root.
TEST(PathToAbsoluteTest, NetworkPathsKeepTheirServerAndShare) {
  const std::pair<const char *, const char *> cases[] = {
      {"\\\\server\\share\\docs\\a.txt", "\\\\server\\share\\docs\\a.txt"},
      {"//server/share/docs/", "\\\\server\\share\\docs\\"},
      {"\\\\server\\share\\docs\\..\\..\\..\\b.txt", "\\\\server\\share\\b.txt"},
      {"D:/x/./y/../z", "D:\\x\\z"},
  };
  for (const auto &[path, absolute] : cases) {
    SCOPED_TRACE(path);
    unsigned short dst[kPathUnits];
    EXPECT_NE(YdrPathToAbsolute(W(path).c_str(), dst), 0);
    EXPECT_EQ(Utf8FromWide(dst), absolute);
  }
}
#endif

bool IsDirectory(const std::string &path) { return std::filesystem::is_directory(std::filesystem::u8path(path)); }

TEST(PathCreateTest, MakesTheFoldersAPathLeadsThrough) {
  test::TempDir dir;
  struct Case {
    const char *relative;
    const char *folder_made;  // must exist afterwards
    const char *not_made;     // must not exist afterwards (the file component)
  };
  const Case cases[] = {
      {"a/b/c.txt", "a/b", "a/b/c.txt"}, {"d/e/f/", "d/e/f", nullptr},       {"g\\h\\i\\", "g/h/i", nullptr},
      {"j//k/l", "j/k", "j/k/l"},        {"폴더/파일", "폴더", "폴더/파일"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.relative);
    EXPECT_NE(YdrPathCreate(W(dir / c.relative).c_str()), 0);
    EXPECT_TRUE(IsDirectory(dir / c.folder_made));
    if (c.not_made != nullptr) {
      EXPECT_FALSE(IsDirectory(dir / c.not_made));
    }
    EXPECT_NE(YdrPathCreate(W(dir / c.relative).c_str()), 0);  // again: they exist
  }
  dir.WriteFile("file", "x");
  EXPECT_EQ(YdrPathCreate(W(dir / "file/sub/x.txt").c_str()), 0);  // a file is in the way
  EXPECT_EQ(YdrPathCreate(W(dir / "file/").c_str()), 0);
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
  EXPECT_EQ(test::ReadFile(dir / "한글 이름.txt"), "contents");

  const WString backslashed = W(dir.path() + "\\한글 이름.txt");
  FILE *in = _u__wfopen(backslashed.c_str(), W("rb").c_str());
  ASSERT_NE(in, nullptr);
  std::fclose(in);

  EXPECT_EQ(_u__wfopen(W(dir / "missing").c_str(), W("rb").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(path.c_str(), W("r한").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(path.c_str(), W("").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(nullptr, W("rb").c_str()), nullptr);
  EXPECT_EQ(_u__wfopen(path.c_str(), nullptr), nullptr);
}

}  // namespace
}  // namespace ydr::base
