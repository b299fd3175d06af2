// Finding sibling modules: the lookup order, the Common-folder cache, the missing-module
// message and the loaded-module list, exercised on real modules in temporary folder trees.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "frame/module_search.h"
#include "frame/sibling_module.h"
#include "platform/module_file_name.h"
#include "platform/registry.h"
#include "platform/sinks.h"
#include "tests/support/temp_dir.h"

namespace ydr::frame {
namespace {

using test::TempDir;

constexpr const char *kProbeFunctions[] = {"YdrProbeAnswer", "NoSuchFunction"};

class ModuleSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetModuleSearchForTesting();
    platform::SetMessageSink(&ModuleSearchTest::Collect, &messages_);
    platform::SetRegistryFileOverride(root_.WriteFile("registry.ini", "").c_str());
    SetExecutable(root_ / "Suite/Bin/app");
  }
  void TearDown() override {
    UnloadSiblingModules();
    ResetModuleSearchForTesting();
    platform::SetMessageSink(nullptr, nullptr);
    platform::SetRegistryFileOverride(nullptr);
    platform::SetModuleFileNameOverride(nullptr);
  }

  static void Collect(const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }

  void SetExecutable(const std::string &path) { platform::SetModuleFileNameOverride(path.c_str()); }
  void PlaceProbe(const std::string &relative) { root_.CopyFile(YDR_PROBE_MODULE, relative); }
  void SetCommonPath(const std::string &folder) {
    root_.WriteFile("registry.ini",
                    "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=" + folder + "\n");
  }
  static int CallProbe(SiblingModule &module) {
    void *address = module.Function(0);
    return address == nullptr ? -1 : FunctionAs<int (*)()>(address)();
  }

  TempDir root_;
  std::vector<std::string> messages_;
  SiblingModule probe_a_{"libydrprobeA.so", kProbeFunctions, 2};
  SiblingModule probe_b_{"libydrprobeB.so", kProbeFunctions, 2};
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
       {"Suite/Common/libydrprobeA.so"},
       "Suite/Bin/app",
       nullptr,
       true,
       "Suite/Common\\"},
      {"executable path with backslashes",
       {"Suite/Common/libydrprobeA.so"},
       "Suite\\Bin\\app",
       nullptr,
       true,
       "Suite\\Common\\"},
      {"executable folder with trailing separators",
       {"Suite/Common/libydrprobeA.so"},
       "Suite/Bin//\\app",
       nullptr,
       true,
       "Suite/Common\\"},
      {"not in the executable's own folder", {"Suite/Bin/libydrprobeA.so"}, "Suite/Bin/app", nullptr, false, ""},
      {"Common Path from the registry", {"Shared/libydrprobeA.so"}, "Suite/Bin/app", "Shared", true, "Shared\\"},
      {"Common Path ending in a separator", {"Shared/libydrprobeA.so"}, "Suite/Bin/app", "Shared/", true, "Shared/"},
      {"the Common folder wins over Common Path",
       {"Suite/Common/libydrprobeA.so", "Shared/libydrprobeA.so"},
       "Suite/Bin/app",
       "Shared",
       true,
       "Suite/Common\\"},
      {"Common Path names a folder without the module",
       {"Elsewhere/libydrprobeA.so"},
       "Suite/Bin/app",
       "Shared",
       false,
       ""},
      {"nowhere", {}, "Suite/Bin/app", nullptr, false, ""},
  };
  for (const LookupCase &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tree;
    UnloadSiblingModules();
    ResetModuleSearchForTesting();
    messages_.clear();
    platform::SetRegistryFileOverride(tree.WriteFile("registry.ini", "").c_str());
    for (const std::string &place : c.probe_places) tree.CopyFile(YDR_PROBE_MODULE, place);
    SetExecutable(tree / c.executable);
    if (c.common_path != nullptr) {
      tree.WriteFile("registry.ini", "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=" +
                                         (tree / c.common_path) + "\n");
    }

    EXPECT_EQ(CallProbe(probe_a_), c.found ? 42 : -1);
    EXPECT_EQ(CommonFolderCache(), *c.cached_folder == '\0' ? std::string() : tree / c.cached_folder);
    EXPECT_EQ(LoadedModuleCount(), c.found ? 1u : 0u);
    if (c.found) {
      EXPECT_TRUE(messages_.empty());
    } else {
      EXPECT_EQ(messages_, std::vector<std::string>{"Can't Find module libydrprobeA.so"});
    }
    UnloadSiblingModules();
  }
}

TEST_F(ModuleSearchTest, SystemSearchComesFirstAndCachesNothing) {
  // zlib is on the system's search path (for every target the tests are built for); a copy
  // of the probe under its name in the Common folder must not be the one loaded.
  PlaceProbe("Suite/Common/libz.so.1");
  static constexpr const char *kFunctions[] = {"zlibVersion", "YdrProbeAnswer"};
  SiblingModule crypto("libz.so.1", kFunctions, 2);
  EXPECT_NE(crypto.Function(0), nullptr);
  EXPECT_EQ(crypto.Function(1), nullptr);  // the real library has no probe function
  EXPECT_EQ(CommonFolderCache(), "");
  EXPECT_EQ(LoadedModuleCount(), 1u);
  EXPECT_TRUE(messages_.empty());
  UnloadSiblingModules();
}

TEST_F(ModuleSearchTest, NameWithAFolderOrDriveIsNeverSearched) {
  PlaceProbe("Suite/Common/libydrprobeA.so");
  PlaceProbe("Suite/Common/sub/libydrprobeA.so");
  for (const char *name : {"sub/libydrprobeA.so", "sub\\libydrprobeA.so", "C:libydrprobeA.so"}) {
    SCOPED_TRACE(name);
    messages_.clear();
    SiblingModule module(name, kProbeFunctions, 1);
    EXPECT_EQ(module.Function(0), nullptr);
    EXPECT_EQ(messages_, std::vector<std::string>{std::string("Can't Find module ") + name});
    EXPECT_EQ(CommonFolderCache(), "");
  }
}

TEST_F(ModuleSearchTest, ExecutableInTheRootLooksInARelativeCommonFolder) {
  PlaceProbe("Common/libydrprobeA.so");
  SetExecutable("/app");
  test::ScopedCurrentDirectory cwd(root_.path());
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CommonFolderCache(), "Common\\");
  UnloadSiblingModules();
}

TEST_F(ModuleSearchTest, CachedFolderAnswersEveryLaterSearch) {
  // The first module is found beside the executable; the second only through Common Path.
  // The cache, filled by the first, is the only place the second is looked for.
  PlaceProbe("Suite/Common/libydrprobeA.so");
  PlaceProbe("Shared/libydrprobeB.so");
  SetCommonPath(root_ / "Shared");
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(messages_, std::vector<std::string>{"Can't Find module libydrprobeB.so"});
  EXPECT_EQ(CommonFolderCache(), root_ / "Suite/Common\\");

  // Put there, it is found without another search.
  PlaceProbe("Suite/Common/libydrprobeB.so");
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(LoadedModuleCount(), 2u);
}

TEST_F(ModuleSearchTest, FailedSearchCachesNothingSoTheNextSearchLooksAgain) {
  EXPECT_EQ(CallProbe(probe_a_), -1);
  EXPECT_EQ(CallProbe(probe_b_), -1);
  EXPECT_EQ(CallProbe(probe_a_), -1);  // each first call searches and tells the user again
  EXPECT_EQ(messages_.size(), 3u);
  EXPECT_EQ(CommonFolderCache(), "");

  PlaceProbe("Shared/libydrprobeA.so");
  SetCommonPath(root_ / "Shared");
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(CommonFolderCache(), root_ / "Shared\\");
  EXPECT_EQ(messages_.size(), 3u);
}

TEST_F(ModuleSearchTest, RegistryWithoutUsableCommonPathEndsTheSearchQuietly) {
  PlaceProbe("libydrprobeA.so");  // where an empty Common Path joined with the name would point
  test::ScopedCurrentDirectory cwd(root_.path());
  const char *registries[] = {
      "",                                                                     // no key
      "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\n",                // no value
      "[HKEY_LOCAL_MACHINE\\Software\\YDR\\Shared\\Common]\nCommon Path=\n",  // empty value
      "[HKEY_CURRENT_USER\\Software\\YDR\\Shared\\Common]\nCommon Path=.\n",  // another root
  };
  for (const char *registry : registries) {
    SCOPED_TRACE(registry);
    root_.WriteFile("registry.ini", registry);
    messages_.clear();
    EXPECT_EQ(FindCommonFolder("libydrprobeA.so"), "");
    EXPECT_TRUE(messages_.empty());
  }
  root_.WriteFile("registry.ini", std::string(300, 'x'));  // not a registry at all
  EXPECT_EQ(FindCommonFolder("libydrprobeA.so"), "");
}

TEST_F(ModuleSearchTest, OverlongCommonPathIsIgnored) {
  const std::string deep = root_.MakeDir(std::string(100, 'd') + "/" + std::string(100, 'e'));
  PlaceProbe(deep.substr(root_.path().size() + 1) + "/libydrprobeA.so");
  ASSERT_LT(deep.size() + sizeof "/libydrprobeA.so", 260u);
  const std::string overlong = deep + "/" + std::string(40, 'f') + "/..";
  ASSERT_GE(overlong.size(), 260u);
  SetCommonPath(overlong);  // does not fit the value buffer: read as no value
  EXPECT_EQ(CallProbe(probe_a_), -1);
  SetCommonPath(deep);
  EXPECT_EQ(CallProbe(probe_a_), 42);
}

TEST_F(ModuleSearchTest, MissingFunctionFailsWithoutMessage) {
  PlaceProbe("Suite/Common/libydrprobeA.so");
  EXPECT_NE(probe_a_.Function(0), nullptr);
  EXPECT_EQ(probe_a_.Function(1), nullptr);
  EXPECT_EQ(probe_a_.Function(7), nullptr);  // no such import at all
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ModuleSearchTest, ModulesAreReleasedInLoadOrder) {
  const std::string log = root_ / "unload.log";
  test::ScopedEnv env("YDR_PROBE_LOG", log.c_str());
  PlaceProbe("Suite/Common/libydrprobeB.so");
  PlaceProbe("Suite/Common/libydrprobeA.so");
  EXPECT_EQ(CallProbe(probe_b_), 42);
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(LoadedModuleCount(), 2u);
  UnloadSiblingModules();
  EXPECT_EQ(LoadedModuleCount(), 0u);
  EXPECT_EQ(test::ReadFile(log), "libydrprobeB.so\nlibydrprobeA.so\n");
  EXPECT_FALSE(probe_a_.loaded());

  // Unloaded modules are loaded again on their next use.
  EXPECT_EQ(CallProbe(probe_a_), 42);
  EXPECT_EQ(LoadedModuleCount(), 1u);
}

TEST_F(ModuleSearchTest, ConcurrentFirstCallsLoadOnce) {
  PlaceProbe("Suite/Common/libydrprobeA.so");
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
}  // namespace ydr::frame
