// Finding sibling modules: the lookup order, the Common-folder cache, the missing-module
// message and the loaded-module list, exercised on real modules in temporary folder trees.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "imports/module_search.h"
#include "imports/sibling_module.h"
#include "platform/loader.h"
#include "platform/registry.h"
#include "platform/sinks.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

// The probe module under the names of two siblings, and a library the system's own search
// finds, with one of its functions.
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

using test::TempDir;

constexpr const char *kProbeFunctions[] = {"YdrProbeAnswer", "NoSuchFunction"};

class ModuleSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetModuleSearchForTesting();
    platform::SetMessageSink(&ModuleSearchTest::Collect, &messages_);
    SetExecutable(root_ / "Suite/Bin/app");
  }
  void TearDown() override {
    UnloadSiblingModules();
    ResetModuleSearchForTesting();
    platform::SetMessageSink(nullptr, nullptr);
    platform::SetModuleFileNameOverride(nullptr);
  }

  static void Collect(const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }

  void SetExecutable(const std::string &path) { platform::SetModuleFileNameOverride(path.c_str()); }
  void PlaceProbe(const std::string &relative) { root_.CopyFile(YDR_PROBE_MODULE, relative); }
  void SetCommonPath(const std::string &folder) { registry_.SetCommonPath(folder); }
  static int CallProbe(SiblingModule &module) {
    void *address = module.Function(0);
    return address == nullptr ? -1 : FunctionAs<int (*)()>(address)();
  }

  TempDir root_;
  test::TestRegistry registry_{root_};
  std::vector<std::string> messages_;
  SiblingModule probe_a_{PROBE_A, kProbeFunctions, 2};
  SiblingModule probe_b_{PROBE_B, kProbeFunctions, 2};
};

struct LookupCase {
  const char *name;
  std::vector<std::string> probe_places;  // relative to the tree's root
  const char *executable;                 // relative to the tree's root
  const char *common_path;                // registry value, relative to the root; null: none
  bool found;
  const char *cached_folder;  // relative to the root; "" when nothing is cached
};

TEST_F(ModuleSearchTest, LooksBesideTheExecutableThenInCommonPath) {
  const LookupCase cases[] = {
      {"common folder beside the executable's folder",
       {"Suite/Common/" PROBE_A},
       "Suite/Bin/app",
       nullptr,
       true,
       "Suite/Common\\"},
      {"executable path with backslashes",
       {"Suite/Common/" PROBE_A},
       "Suite\\Bin\\app",
       nullptr,
       true,
       "Suite\\Common\\"},
      {"executable folder with trailing separators",
       {"Suite/Common/" PROBE_A},
       "Suite/Bin//\\app",
       nullptr,
       true,
       "Suite/Common\\"},
      {"not in the executable's own folder", {"Suite/Bin/" PROBE_A}, "Suite/Bin/app", nullptr, false, ""},
      {"Common Path from the registry", {"Shared/" PROBE_A}, "Suite/Bin/app", "Shared", true, "Shared\\"},
      {"Common Path ending in a separator", {"Shared/" PROBE_A}, "Suite/Bin/app", "Shared/", true, "Shared/"},
      {"the Common folder wins over Common Path",
       {"Suite/Common/" PROBE_A, "Shared/" PROBE_A},
       "Suite/Bin/app",
       "Shared",
       true,
       "Suite/Common\\"},
      {"Common Path names a folder without the module", {"Elsewhere/" PROBE_A}, "Suite/Bin/app", "Shared", false, ""},
      {"nowhere", {}, "Suite/Bin/app", nullptr, false, ""},
  };
  for (const LookupCase &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tree;
    UnloadSiblingModules();
    ResetModuleSearchForTesting();
    messages_.clear();
    registry_.Clear();
    for (const std::string &place : c.probe_places) tree.CopyFile(YDR_PROBE_MODULE, place);
    SetExecutable(tree / c.executable);
    if (c.common_path != nullptr) SetCommonPath(tree / c.common_path);

    EXPECT_EQ(CallProbe(probe_a_), c.found ? 42 : -1);
    EXPECT_EQ(CommonFolderCache(), *c.cached_folder == '\0' ? std::string() : tree / c.cached_folder);
    EXPECT_EQ(LoadedModuleCount(), c.found ? 1u : 0u);
    if (c.found) {
      EXPECT_TRUE(messages_.empty());
    } else {
      EXPECT_EQ(messages_, std::vector<std::string>{"Can't Find module " PROBE_A});
    }
    UnloadSiblingModules();
  }
}

TEST_F(ModuleSearchTest, SystemSearchComesFirstAndCachesNothing) {
  // A library on the system's search path (for every target the tests are built for); a copy
  // of the probe under its name in the Common folder must not be the one loaded.
  PlaceProbe("Suite/Common/" SYSTEM_LIBRARY);
  static constexpr const char *kFunctions[] = {SYSTEM_FUNCTION, "YdrProbeAnswer"};
  SiblingModule crypto(SYSTEM_LIBRARY, kFunctions, 2);
  EXPECT_NE(crypto.Function(0), nullptr);
  EXPECT_EQ(crypto.Function(1), nullptr);  // the real library has no probe function
  EXPECT_EQ(CommonFolderCache(), "");
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_TRUE(messages_.empty());
  UnloadSiblingModules();
}

TEST_F(ModuleSearchTest, NameWithAFolderOrDriveIsNeverSearched) {
  PlaceProbe("Suite/Common/" PROBE_A);
  PlaceProbe("Suite/Common/sub/" PROBE_A);
  for (const char *name : {"sub/" PROBE_A, "sub\\" PROBE_A, "C:" PROBE_A}) {
    SCOPED_TRACE(name);
    messages_.clear();
    SiblingModule module(name, kProbeFunctions, 1);
    EXPECT_EQ(module.Function(0), nullptr);
    EXPECT_EQ(messages_, std::vector<std::string>{std::string("Can't Find module ") + name});
    EXPECT_EQ(CommonFolderCache(), "");
  }
}

TEST_F(ModuleSearchTest, NoFolderRelativeToTheCurrentOneIsSearched) {
  // A module planted where a relative "Common" folder would point, in the current folder.
  PlaceProbe("Common/" PROBE_A);
  test::ScopedCurrentDirectory cwd(root_.path());
  struct Case {
    const char *name;
    std::string executable;
    const char *common_path;  // registry value as written; null: none
  };
  const Case cases[] = {
      {"executable in the root folder", "/app", nullptr},
      {"executable in a drive's root folder", "C:\\app", nullptr},
      {"executable's path unknown", "", nullptr},
      {"executable's path too long to read", root_ / std::string(300, 'x'), nullptr},
      {"relative Common Path", root_ / "Suite/Bin/app", "Common"},
      {"drive-relative Common Path", root_ / "Suite/Bin/app", "C:Common"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    UnloadSiblingModules();
    ResetModuleSearchForTesting();
    messages_.clear();
    registry_.Clear();
    SetExecutable(c.executable);
    if (c.common_path != nullptr) SetCommonPath(c.common_path);
    EXPECT_EQ(CallProbe(probe_a_), -1);
    EXPECT_EQ(CommonFolderCache(), "");
    EXPECT_EQ(LoadedModuleCount(), 0u);
    EXPECT_EQ(messages_, std::vector<std::string>{"Can't Find module " PROBE_A});
  }
}

TEST_F(ModuleSearchTest, CachedFolderAnswersEveryLaterSearch) {
  // The first module is found beside the executable; the second only through Common Path.
  // The cache, filled by the first, is the only place the second is looked for.
  PlaceProbe("Suite/Common/" PROBE_A);
  PlaceProbe("Shared/" PROBE_B);
  SetCommonPath(root_ / "Shared");
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(messages_, std::vector<std::string>{"Can't Find module " PROBE_B});
  EXPECT_EQ(CommonFolderCache(), root_ / "Suite/Common\\");

  // Put there, it is found without another search.
  PlaceProbe("Suite/Common/" PROBE_B);
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(LoadedModuleCount(), 2u);
}

TEST_F(ModuleSearchTest, FailedSearchCachesNothingSoTheNextSearchLooksAgain) {
  EXPECT_EQ(CallProbe(probe_a_), -1);
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(CallProbe(probe_a_), -1);  // each first call searches and tells the user again
  EXPECT_EQ(messages_.size(), 3u);
  EXPECT_EQ(CommonFolderCache(), "");

  PlaceProbe("Shared/" PROBE_A);
  SetCommonPath(root_ / "Shared");
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CommonFolderCache(), root_ / "Shared\\");
  EXPECT_EQ(messages_.size(), 3u);
}

TEST_F(ModuleSearchTest, RegistryWithoutUsableCommonPathEndsTheSearchQuietly) {
  PlaceProbe(PROBE_A);  // where an empty Common Path joined with the name would point
  test::ScopedCurrentDirectory cwd(root_.path());
  using Root = platform::RegistryRoot;
  const std::function<void()> registries[] = {
      [&] { registry_.Clear(); },                                                                      // no key
      [&] { registry_.SetKeyOnly(Root::kLocalMachine, test::TestRegistry::kCommonKey); },              // no value
      [&] { SetCommonPath(""); },                                                                      // empty value
      [&] { registry_.Set(Root::kCurrentUser, test::TestRegistry::kCommonKey, "Common Path", "."); },  // another root
  };
  for (std::size_t i = 0; i < std::size(registries); ++i) {
    SCOPED_TRACE(i);
    registries[i]();
    messages_.clear();
    EXPECT_EQ(FindCommonFolder(PROBE_A), "");
    EXPECT_TRUE(messages_.empty());
  }
#if !defined(_WIN32)
  root_.WriteFile("registry.ini", std::string(300, 'x'));  // not a registry file at all
  platform::SetRegistryFileOverride((root_ / "registry.ini").c_str());
  EXPECT_EQ(FindCommonFolder(PROBE_A), "");
#endif
}

TEST_F(ModuleSearchTest, OverlongCommonPathIsIgnored) {
  // Two folders deep enough that the module's path just fits in 259 characters.
  const std::size_t room = 240 - root_.path().size() - sizeof PROBE_A;
  const std::string deep = root_.MakeDir(std::string(room / 2, 'd') + "/" + std::string(room / 2, 'e'));
  PlaceProbe(deep.substr(root_.path().size() + 1) + "/" PROBE_A);
  ASSERT_LT(deep.size() + sizeof "/" PROBE_A, 260u);
  const std::string overlong = deep + "/" + std::string(40, 'f') + "/..";
  ASSERT_GE(overlong.size(), 260u);
  SetCommonPath(overlong);  // does not fit the value buffer: read as no value
  EXPECT_EQ(CallProbe(probe_a_), -1);
  SetCommonPath(deep);
  EXPECT_EQ(CallProbe(probe_a_), 42);
}

TEST_F(ModuleSearchTest, MissingFunctionFailsWithoutMessage) {
  PlaceProbe("Suite/Common/" PROBE_A);
  EXPECT_NE(probe_a_.Function(0), nullptr);
  EXPECT_EQ(probe_a_.Function(1), nullptr);
  EXPECT_EQ(probe_a_.Function(7), nullptr);  // no such import at all
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ModuleSearchTest, ModulesAreReleasedInLoadOrder) {
  const std::string log = root_ / "unload.log";
  test::ScopedEnv env("YDR_PROBE_LOG", log.c_str());
  PlaceProbe("Suite/Common/" PROBE_B);
  PlaceProbe("Suite/Common/" PROBE_A);
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(CallProbe(probe_a_), 42);
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
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::vector<void *> addresses(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      addresses[i] = probe_a_.Function(0);
    });
  }
  for (auto &t : threads) t.join();
  for (void *address : addresses) EXPECT_EQ(address, addresses[0]);
  EXPECT_NE(addresses[0], nullptr);
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace ydr::imports
