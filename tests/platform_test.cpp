// The runtime-library path rules and UTF conversions the rest of the library stands on.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <aclapi.h>
#include <windows.h>

#include "platform/windows/owner_only_security.h"
#include "platform/windows/win32_text.h"
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/files.h"
#include "platform/path_match.h"
#include "platform/text.h"
#include "portable/split_path.h"
#include "portable/utf16.h"
#include "tests/support/code_page_text.h"
#include "tests/support/temp_dir.h"
#include "ydr/utf8.h"

namespace ydr::platform {
using namespace ydr::portable;  // the portable helpers are tested here too
namespace {

namespace fs = std::filesystem;

TEST(SplitPathTest, FollowsTheRuntimeRules) {
  struct Case {
    const char *path, *drive, *dir, *fname, *ext;
  };
  const Case cases[] = {
      {"C:\\Suite\\Bin\\app.exe", "C:", "\\Suite\\Bin\\", "app", ".exe"},
      {"libcrypto.so.3", "", "", "libcrypto.so", ".3"},
      {"a/b\\c.d/e", "", "a/b\\c.d/", "e", ""},
      {"C:app", "C:", "", "app", ""},
      {".profile", "", "", "", ".profile"},
      {"", "", "", "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts<char> parts = SplitPath(c.path);
    EXPECT_EQ(std::tie(parts.drive, parts.dir, parts.fname, parts.ext), std::tie(c.drive, c.dir, c.fname, c.ext));
    EXPECT_EQ(MakePath(parts.drive, parts.dir, parts.fname, parts.ext), c.path);  // joined back
  }
  // The separator and the drive's colon are inserted only when missing.
  EXPECT_EQ(MakePath("C:", "\\Suite\\Common", "libYdrBL70", ".so"), "C:\\Suite\\Common\\libYdrBL70.so");
  EXPECT_EQ(MakePath("C", "dir/", "f", "txt"), "C:dir/f.txt");
}

// Windows paths stay as they are; elsewhere both separators and drives are understood.
TEST(NativePathTest, BothSeparatorsAndDrivesAreUnderstood) {
  EXPECT_EQ(NativePath("C:\\docs\\a.txt"), kBackslashSeparates ? "C:\\docs\\a.txt" : "/docs/a.txt");
  EXPECT_EQ(NativePath("/x\\Common\\lib.so"), kBackslashSeparates ? "/x\\Common\\lib.so" : "/x/Common/lib.so");
  EXPECT_EQ(NativePathFromWide(WideFromUtf8("d:한글\\b").c_str()), kBackslashSeparates ? "d:한글\\b" : "한글/b");
}

// Known decodings, then the header-only conversions against the portable ones on random bytes.
TEST(Utf8Test, MalformedSequencesBecomeOneReplacementPerByte) {
  const std::pair<std::string, std::u32string> cases[] = {
      {"a\xC3\xA9", U"aé"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82", U"\uFFFD\uFFFD"},                      // truncated
      {"\x80x", U"\uFFFDx"},                              // stray continuation
      {"\xFF", U"\uFFFD"},
  };
  const auto decode = [](const std::string &bytes) {
    std::u32string decoded;
    for (std::size_t pos = 0; pos < bytes.size();) {
      char32_t c;
      DecodeUtf8(bytes, &pos, &c);
      decoded.push_back(c);
    }
    return decoded;
  };
  std::vector<std::string> samples = {"", "plain", "한글 text"};
  for (const auto &[bytes, expected] : cases) {
    EXPECT_EQ(decode(bytes), expected);
    samples.push_back(bytes);
  }
  std::mt19937 rng(8);
  for (int i = 0; i < 2000; ++i) {
    std::string &bytes = samples.emplace_back(rng() % 12, '\0');
    for (char &c : bytes) c = static_cast<char>(rng() % 4 == 0 ? rng() : 0x80 + rng() % 0x50);
  }
  for (const std::string &sample : samples) {
    WString expected;
    for (const char32_t c : decode(sample)) AppendUtf16(c, &expected);
    const WString wide = ydr::Utf16FromUtf8(sample);
    ASSERT_EQ(wide, expected) << sample;
    std::string back;
    for (std::size_t pos = 0; pos < wide.size();) AppendUtf8(DecodeUtf16(wide.data(), wide.size(), &pos), &back);
    ASSERT_EQ(ydr::Utf8FromUtf16(wide), back);
  }
  // UTF-16 the other way: surrogates pair up, or each lone one becomes a replacement.
  const WString units = {0xD83D, 0xDE00, 'x', 0xDC00, 0xD800, 'x', 0xD800};
  const std::string utf8 = "\xF0\x9F\x98\x80x\xEF\xBF\xBD\xEF\xBF\xBDx\xEF\xBF\xBD";
  EXPECT_EQ(ydr::Utf8FromUtf16(units), utf8);
}

// Names and patterns in a code page (converted from UTF-8); "ANSI": the shell's matcher agrees.
TEST(PathMatchSpecTest, WildcardsTakeWholeCharactersOfTheCodePage) {
  struct Case {
    const char *code_page;
    std::string name;
    std::vector<std::string> matching, not_matching;
  };
  const Case cases[] = {
      // In CP949 the syllables differ only in a trail byte that reads as 'B' or 'b'.
      {"CP949", "k\\갂.txt", {"k\\갂.TXT", "k\\?.txt"}, {"k\\갵.txt", "k\\??.txt"}},
      {"CP949", "한글.txt", {"?글.*", "*.*"}, {}},
      {"UTF-8", "한글.txt", {"??.txt"}, {"???.txt"}},
      {"UTF-8", "ÄB.txt", {}, {"äb.txt"}},  // only ASCII letters fold
      {"UTF-8", "a;b", {}, {"a"}},
      {"ANSI", "a.txt", {"*.txt", "*.TXT", "?.txt", "*.*", "x;  a.txt", "a.*"}, {"x;y"}},
      {"ANSI", "noext", {"*.*"}, {}},
      {"ANSI", "a.txt.bak", {}, {"*.txt"}},
      {"ANSI", "dir\\a.txt", {"*.txt"}, {}},
  };
  for (const Case &c : cases) {
    for (const bool matches : {true, false}) {
      for (const std::string &pattern : matches ? c.matching : c.not_matching) {
        SCOPED_TRACE(std::string(c.code_page) + " " + c.name + " " + pattern);
        const bool ansi = c.code_page == std::string("ANSI");
        const std::string page = ansi ? AnsiCodePageName() : c.code_page;
        const std::string name = test::ToCodePage(c.name, page);
        EXPECT_EQ(MatchSpecInCodePage(name.c_str(), test::ToCodePage(pattern, page).c_str(), page), matches);
        if (ansi) {
          EXPECT_EQ(PathMatchSpecA(c.name.c_str(), pattern.c_str()), matches);
        }
      }
    }
  }
}

class DestinationFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dest_.Open(dir_ / "dest", true, &problem_)); }
  // Writes "new" to a temporary file in `folder` and moves it to `name`.
  static bool WriteAndCommit(int folder, const std::string &name, const DestinationFolder::Replacing &replacing,
                             std::string *temporary, FolderProblem *why) {
    const int fd = DestinationFolder::CreateTemporary(folder, name, temporary, why);
    std::FILE *file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (file == nullptr || std::fputs("new", file) < 0 || std::fclose(file) != 0) return false;
    return DestinationFolder::Commit(folder, *temporary, name, replacing, why);
  }

  test::TempDir dir_;
  DestinationFolder dest_;
  FolderProblem problem_;
};

// After evictions, and for folders made behind its back, as a fresh walk answers.
TEST_F(DestinationFolderTest, FolderCacheAnswersAsAFreshWalkWould) {
  FolderCache cache(dest_, 2);  // evictions on nearly every call
  // A folder is the one meant when a file written through it appears there.
  const auto fd_is = [&](int folder, const std::string &relative) {
    std::string temporary;
    FolderProblem ignored;
    return folder >= 0 && WriteAndCommit(folder, "probe", {}, &temporary, &ignored) &&
           fs::remove(fs::u8path(dir_ / ("dest/" + relative + "/probe")));
  };
  const std::vector<std::vector<std::string>> paths = {{"a"}, {"a", "b"}, {"c"}, {"a", "b", "d"}, {"e", "f"}, {"a"}};
  for (int round = 0; round < 3; ++round) {
    for (const auto &path : paths) {
      std::string relative;
      for (const std::string &c : path) relative += (relative.empty() ? "" : "/") + c;
      SCOPED_TRACE(relative);
      EXPECT_TRUE(fd_is(cache.Get(path, true, &problem_), relative));
      EXPECT_TRUE(cache.Holds(path));
    }
  }
  // Missing while only looking, then made by someone else: found once made.
  EXPECT_FALSE(cache.Holds({"later", "file"}));
  EXPECT_LT(cache.Get({"later"}, false, &problem_), 0);
  dir_.WriteFile("dest/later/file", "x");
  EXPECT_TRUE(fd_is(cache.Get({"later"}, true, &problem_), "later"));
  EXPECT_TRUE(cache.Holds({"later", "file"}));
  EXPECT_LT(cache.Get({"..", "x"}, true, &problem_), 0);
  EXPECT_EQ(problem_.kind, FolderProblem::kBadName);
}

// Only what the caller allows is replaced; a refused move leaves both files.
TEST_F(DestinationFolderTest, CommitReplacesOnlyWhatItIsAllowedTo) {
  using Replacing = DestinationFolder::Replacing;
  enum class There { kNothing, kFile, kFileMadeSince, kFolder };
  struct Case {
    const char *what;
    There there;
    Replacing::Mode mode;
    FolderProblem::Kind problem;  // kNone: moved into place
  };
  const Case cases[] = {
      {"a new name", There::kNothing, Replacing::kNothing, FolderProblem::kNone},
      {"a file, nothing replaced", There::kFile, Replacing::kNothing, FolderProblem::kExists},
      {"a file, any replaced", There::kFile, Replacing::kAnyRegularFile, FolderProblem::kNone},
      {"the file found before", There::kFile, Replacing::kOnlyFile, FolderProblem::kNone},
      {"a file made since", There::kFileMadeSince, Replacing::kOnlyFile, FolderProblem::kExists},
      {"a new name, only a file", There::kNothing, Replacing::kOnlyFile, FolderProblem::kNone},
      {"a folder", There::kFolder, Replacing::kAnyRegularFile, FolderProblem::kNotRegular},
  };
  int round = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "n" + std::to_string(++round);
    const std::string path = dir_ / ("dest/" + name);
    if (c.there == There::kFile || c.there == There::kFileMadeSince) dir_.WriteFile("dest/" + name, "old");
    const Replacing replacing{c.mode, DestinationFolder::IdentityAt(dest_.descriptor(), name).value_or(FileIdentity{})};
    if (c.there == There::kFolder) dir_.MakeDir("dest/" + name);
    if (c.there == There::kFileMadeSince) {
      // The file found is moved aside (alive, so no new file takes its identity) and replaced.
      fs::rename(fs::u8path(path), fs::u8path(dir_ / ("aside-" + name)));
      dir_.WriteFile("dest/" + name, "old");
    }
    std::string temporary;
    FolderProblem why;
    const bool moved = WriteAndCommit(dest_.descriptor(), name, replacing, &temporary, &why);
    EXPECT_EQ(moved, c.problem == FolderProblem::kNone);
    EXPECT_EQ(why.kind, c.problem);
    const auto temporary_path = fs::u8path(dir_ / ("dest/" + temporary));
    EXPECT_EQ(fs::exists(temporary_path), !moved);
    if (moved) {
      EXPECT_EQ(test::ReadFile(path), "new");
    } else if (c.there != There::kFolder) {
      EXPECT_EQ(test::ReadFile(path), "old");
    }
    fs::remove(temporary_path);
  }
}

#if !defined(_WIN32)
// With few descriptors left, the cache gives back what it holds rather than failing.
TEST_F(DestinationFolderTest, FolderCacheTrimsItselfWhenDescriptorsRunOut) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  const int lowest_free = dup(0);
  ASSERT_GE(lowest_free, 0);
  close(lowest_free);
  rlimit few = before;
  few.rlim_cur = static_cast<rlim_t>(lowest_free) + 4;  // four descriptors to spare
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  int made = 0;
  {
    FolderCache cache(dest_);  // room for far more folders than descriptors
    for (int i = 0; i < 40; ++i) {
      const std::vector<std::string> path = {"d" + std::to_string(i % 8), "e" + std::to_string(i)};
      const int folder = cache.Get(path, true, &problem_);
      std::string temporary;
      const int fd = folder < 0 ? -1 : cache.CreateTemporary(folder, "f", &temporary, &problem_);
      if (fd >= 0 && close(fd) == 0) ++made;
    }
  }
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  EXPECT_EQ(made, 40) << problem_.Describe();
}
#endif

#if defined(_WIN32)
// The access list read back gives the user full access, and none to everyone, users or signed-in users.
TEST(OwnerOnlySecurityTest, TheFileLetsItsOwnerAloneIn) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  unsigned char user[256];
  DWORD size = sizeof user;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
  CloseHandle(token);
  const PSID user_sid = reinterpret_cast<TOKEN_USER *>(user)->User.Sid;

  test::TempDir dir;
  const std::wstring path = SystemWide(dir / "private.pem");
  OwnerOnlySecurity security;
  ASSERT_NE(security.attributes(), nullptr);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                                  nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(acl, nullptr);
  bool user_allowed = false;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void **>(&ace)));
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const PSID sid = &ace->SidStart;
    if (EqualSid(sid, user_sid)) user_allowed = (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
    for (const auto other : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid}) {
      EXPECT_FALSE(IsWellKnownSid(sid, other)) << i;
    }
  }
  EXPECT_TRUE(user_allowed);
  LocalFree(descriptor);
}
#endif

}  // namespace
}  // namespace ydr::platform
