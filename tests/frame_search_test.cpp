// Finding sibling modules in real folder trees, and the attach and detach sequences that use it.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "frame/module_entry.h"
#include "imports/base_services.h"
#include "imports/module_search.h"
#include "imports/sibling_module.h"
#include "platform/loader.h"
#include "platform/registry.h"
#include "platform/sinks.h"
#include "portable/utf16.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

// The probe module under two siblings' names; a library the system's search finds, and a function of it.
#if defined(_WIN32)
#define PROBE_A "ydrprobeA.dll"
#define PROBE_B "ydrprobeB.dll"
#define SYSTEM_LIBRARY "shlwapi.dll"
#define SYSTEM_FUNCTION "PathMatchSpecA"
#else
#define PROBE_A "libydrprobeA.so"
#define PROBE_B "libydrprobeB.so"
#define SYSTEM_LIBRARY "libz.so.1"
#define SYSTEM_FUNCTION "zlibVersion"
#endif

namespace ydr::imports {
namespace {

constexpr const char *kProbeFunctions[] = {"YdrProbeAnswer", "NoSuchFunction"};

class ModuleSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetModuleSearchForTesting();
    platform::SetMessageSink(&Collect, &messages_);
    platform::SetDebugSink(&Collect, &messages_);  // the attach and detach messages
    platform::SetModuleFileNameOverride((root_ / "Suite/Bin/app").c_str());
  }
  void TearDown() override {
    UnloadSiblingModules();
    platform::SetMessageSink(nullptr, nullptr);
    platform::SetDebugSink(nullptr, nullptr);
    platform::SetModuleFileNameOverride(nullptr);
  }

  static void Collect(const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }
  void PlaceProbe(const std::string &relative) { root_.CopyFile(YDR_PROBE_MODULE, relative); }
  static int CallProbe(SiblingModule &module) {
    void *address = module.Function(0);
    return address == nullptr ? -1 : FunctionAs<int (*)()>(address)();
  }

  test::TempDir root_;
  test::TestRegistry registry_{root_};
  std::vector<std::string> messages_;
  SiblingModule probe_a_{PROBE_A, kProbeFunctions, 2};
  SiblingModule probe_b_{PROBE_B, kProbeFunctions, 2};
};

// Each row in its own tree ("$/"), the current folder, with decoys where relative folders lead.
TEST_F(ModuleSearchTest, LooksBesideTheExecutableThenInCommonPathOnly) {
  using Root = platform::RegistryRoot;
  struct Case {
    const char *name;
    const char *module;
    std::vector<std::string> places;  // of the probe, besides the decoys
    std::string executable;
    std::optional<std::string> common_path;  // none: no key
    std::string cached;                      // "": not found
    Root root = Root::kLocalMachine;
  };
  const std::string app = "$/Suite/Bin/app";
  // Folders deep enough that the module's path in them just fits in 259 characters (every tree's
  // path is as long as root_'s), and a path to them that does not fit the value's buffer.
  const std::size_t room = 240 - root_.path().size() - sizeof PROBE_A;
  const std::string deep = std::string(room / 2, 'd') + "/" + std::string(room / 2, 'e');
  const std::string beyond = deep + "/" + std::string(40, 'f');  // made, so that "/.." after it leads back
  const std::string overlong = beyond + "/..";
  ASSERT_LT((root_ / deep).size() + sizeof "/" PROBE_A, 260u);
  ASSERT_GE((root_ / overlong).size(), 260u);
  const Case cases[] = {
      {"backslashes, doubled", PROBE_A, {"Suite/Common/" PROBE_A}, "$/Suite\\Bin/\\app", {}, "Suite\\Common\\"},
      {"not in the executable's own folder", PROBE_A, {"Suite/Bin/" PROBE_A}, app, {}, ""},
      {"Common Path ending in a separator", PROBE_A, {"Shared/" PROBE_A}, app, "$/Shared/", "Shared/"},
      {"Common wins", PROBE_A, {"Suite/Common/" PROBE_A, "Shared/" PROBE_A}, app, "$/Shared", "Suite/Common\\"},
      {"Common Path without the module", PROBE_A, {"Elsewhere/" PROBE_A}, app, "$/Shared", ""},
      {"deep Common Path", PROBE_A, {deep + "/" PROBE_A}, app, "$/" + deep, deep + "\\"},
      {"Common Path too long to read", PROBE_A, {deep + "/" PROBE_A, beyond + "/" PROBE_A}, app, "$/" + overlong, ""},
      {"executable in the root folder", PROBE_A, {}, "/app", {}, ""},
      {"executable in a drive's root folder", PROBE_A, {}, "C:\\app", {}, ""},
      {"executable's path unknown", PROBE_A, {}, "", {}, ""},
      {"executable's path too long to read", PROBE_A, {}, "$/" + std::string(300, 'x'), {}, ""},
      {"relative Common Path", PROBE_A, {}, app, "Common", ""},
      {"drive-relative Common Path", PROBE_A, {}, app, "C:Common", ""},
      {"Common Path under the user's root", PROBE_A, {"Shared/" PROBE_A}, app, "$/Shared", "", Root::kCurrentUser},
      // The bare name is in Common: a search that dropped the name's folder would find it.
      {"name with a folder", "sub/" PROBE_A, {"Suite/Common/" PROBE_A}, app, {}, ""},
      {"name with a backslash folder", "sub\\" PROBE_A, {"Suite/Common/" PROBE_A}, app, {}, ""},
      {"name with a drive", "C:" PROBE_A, {"Suite/Common/" PROBE_A}, app, {}, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir tree;
    test::ScopedCurrentDirectory cwd(tree.path());
    const auto in_tree = [&](const std::string &path) {
      return path.rfind("$/", 0) == 0 ? tree / path.substr(2) : path;
    };
    ResetModuleSearchForTesting();  // as a process that has searched nothing
    messages_.clear();
    for (const std::string &place : c.places) tree.CopyFile(YDR_PROBE_MODULE, place);
    tree.CopyFile(YDR_PROBE_MODULE, "Common/" PROBE_A);
    tree.CopyFile(YDR_PROBE_MODULE, "Suite/Common/sub/" PROBE_A);
    platform::SetModuleFileNameOverride(in_tree(c.executable).c_str());
    registry_.Set(c.common_path ? std::optional(c.root) : std::nullopt, in_tree(c.common_path.value_or("")).c_str());
    SiblingModule module(c.module, kProbeFunctions, 1);
    using Outcome = std::tuple<int, std::string, std::size_t, std::vector<std::string>>;
    const Outcome expected = !c.cached.empty() ? Outcome{42, tree / c.cached, 1, {}}
                                               : Outcome{-1, "", 0, {"Can't Find module " + std::string(c.module)}};
    const int answer = CallProbe(module);  // before the outcomes it leaves are read
    EXPECT_EQ(Outcome(answer, CommonFolderCache(), LoadedModuleCount(), messages_), expected);
    UnloadSiblingModules();
  }
}

TEST_F(ModuleSearchTest, SystemSearchComesFirstAndCachesNothing) {
  // A copy of the probe under the system library's name in Common must not be loaded.
  PlaceProbe("Suite/Common/" SYSTEM_LIBRARY);
  static constexpr const char *kFunctions[] = {SYSTEM_FUNCTION, "YdrProbeAnswer"};
  SiblingModule system_library(SYSTEM_LIBRARY, kFunctions, 2);
  EXPECT_NE(system_library.Function(0), nullptr);
  EXPECT_EQ(system_library.Function(1), nullptr);  // the real library has no probe function
  EXPECT_EQ(CommonFolderCache(), "");
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_TRUE(messages_.empty());
  UnloadSiblingModules();  // before the local module goes
}

TEST_F(ModuleSearchTest, OnlyAFoundFolderIsCachedAndThenItAloneIsSearched) {
  EXPECT_EQ(CallProbe(probe_a_), -1);
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(CallProbe(probe_a_), -1);  // each first call searches and tells the user again
  EXPECT_EQ(messages_.size(), 3u);
  EXPECT_EQ(CommonFolderCache(), "");

  PlaceProbe("Shared/" PROBE_A);
  PlaceProbe("Suite/Common/" PROBE_B);
  registry_.SetCommonPath(root_ / "Shared");
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CommonFolderCache(), root_ / "Shared\\");
  // The second module, beside the executable but not in the cached folder, is not found there.
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(messages_.size(), 4u);
  PlaceProbe("Shared/" PROBE_B);
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(LoadedModuleCount(), 2u);
}

TEST_F(ModuleSearchTest, ModulesAreReleasedInLoadOrder) {
  const std::string log = root_ / "unload.log";
  test::ScopedEnv env("YDR_PROBE_LOG", log.c_str());
  PlaceProbe("Suite/Common/" PROBE_B);
  PlaceProbe("Suite/Common/" PROBE_A);
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(probe_a_.Function(1), nullptr);  // a missing function fails without a message
  EXPECT_EQ(probe_a_.Function(7), nullptr);  // no such import at all
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(LoadedModuleCount(), 2u);
  UnloadSiblingModules();
  EXPECT_EQ(LoadedModuleCount(), 0u);
  EXPECT_EQ(test::ReadFile(log), PROBE_B "\n" PROBE_A "\n");
  EXPECT_FALSE(probe_a_.loaded());

  // Unloaded modules are loaded again on their next use.
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(LoadedModuleCount(), 1u);
}

TEST_F(ModuleSearchTest, ConcurrentFirstCallsLoadOnce) {
  PlaceProbe("Suite/Common/" PROBE_A);
  std::vector<void *> addresses(8);
  std::atomic<std::size_t> ready{0};
  std::vector<std::thread> threads;
  for (void *&address : addresses) {
    threads.emplace_back([&] {
      ++ready;
      while (ready.load() < addresses.size()) std::this_thread::yield();
      address = probe_a_.Function(0);
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_NE(addresses[0], nullptr);
  EXPECT_EQ(addresses, std::vector<void *>(addresses.size(), addresses[0]));
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_TRUE(messages_.empty());
}

// The attach and detach sequences, with the base library found in Common as a host finds it.
TEST_F(ModuleSearchTest, AttachRegistersWithTheBaseLibraryFoundInCommon) {
  root_.CopyFile(YDR_BASE_LIBRARY, std::string("Suite/Common/") + bl::kModuleName);
  int anchor;
  EXPECT_TRUE(frame::ProcessAttach(&anchor));
  EXPECT_EQ(messages_, std::vector<std::string>{"DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n"});

  // The record carries name and handle and is marked started before the base library sees it.
  const YDR_MODULE_INFO *info = frame::ModuleInfo();
  EXPECT_EQ(portable::Utf8FromWide(info->name), "YdrMod.YdrBaseMisc");
  EXPECT_EQ(info->instance, &anchor);
  YDR_MODULE_INFO not_started = *info;
  not_started.started = 0;
  EXPECT_EQ(bl::YdrInitModule(&not_started), 0);
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_EQ(CommonFolderCache(), root_ / "Suite/Common\\");
  EXPECT_TRUE(YDR_STRICT_BASE_LIBRARY ||
              bl::YdrInitModule(frame::ModuleInfo()) != 0);  // ours takes a second registration

  EXPECT_TRUE(frame::ProcessDetach());
  EXPECT_EQ(messages_.back(), "DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n");
  EXPECT_EQ(LoadedModuleCount(), 0u);
  EXPECT_EQ(frame::ModuleInfo()->started, 1u);  // never cleared
}

TEST_F(ModuleSearchTest, MissingBaseLibraryIsReportedAndEveryCallFailsSafely) {
  EXPECT_TRUE(frame::ProcessAttach(nullptr));
  // Each call that needs the base library fails with its ordinary failure result.
  messages_.clear();
  unsigned short path[260] = {'x', 0};
  const unsigned short name[] = {'a', 0};
  EXPECT_EQ(bl::YdrPathToAbsolute(name, path), 0);
  EXPECT_EQ(path[0], 0);
  EXPECT_EQ(bl::YdrPathCreate(name), 0);
  EXPECT_EQ(bl::_u__wfopen(name, name), nullptr);
  YDR_FIND_DATAW data;
  EXPECT_EQ(bl::YdrFindFirstFileW(name, &data), platform::InvalidHandleValue());
  EXPECT_EQ(bl::YdrFindNextFileW(nullptr, &data), 0);
  unsigned char bytes[4];
  unsigned char *out = bytes;
  EXPECT_EQ(bl::YdrBase64ToAscii("eWRy", &out), -1);
  char narrow[8];
  EXPECT_EQ(bl::YdrUnicodeToAnsi(0, 0, name, -1, narrow, 8, 0), 0);
  EXPECT_EQ(bl::YdrAnsiToUnicode(0, 0, "a", -1, path, 8, 0), 0);
  bl::YdrSetError(2);
  // One message for each call: every call searches again.
  EXPECT_EQ(messages_, std::vector<std::string>(9, std::string("Can't Find module ") + bl::kModuleName));

  EXPECT_TRUE(frame::ProcessDetach());
  EXPECT_EQ(LoadedModuleCount(), 0u);
}

}  // namespace
}  // namespace ydr::imports
