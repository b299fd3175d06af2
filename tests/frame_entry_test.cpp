// The attach and detach sequences, with the base library found the way a host finds it.
#include <gtest/gtest.h>

#include <string>
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

namespace ydr::frame {
namespace {

class ModuleEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    imports::UnloadSiblingModules();
    imports::ResetModuleSearchForTesting();
    platform::SetMessageSink(&Collect, &events_);
    platform::SetDebugSink(&Collect, &events_);
    platform::SetModuleFileNameOverride((root_ / "Suite/Bin/host" YDR_EXECUTABLE_SUFFIX).c_str());
  }
  void TearDown() override {
    imports::UnloadSiblingModules();
    imports::ResetModuleSearchForTesting();
    platform::SetMessageSink(nullptr, nullptr);
    platform::SetDebugSink(nullptr, nullptr);
    platform::SetModuleFileNameOverride(nullptr);
  }
  static void Collect(const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }

  test::TempDir root_;
  test::TestRegistry registry_{root_};  // without the key
  std::vector<std::string> events_;
};

TEST_F(ModuleEntryTest, AttachRegistersWithTheBaseLibraryFoundInCommon) {
  root_.CopyFile(YDR_BASE_LIBRARY, std::string("Suite/Common/") + bl::kModuleName);
  int anchor;
  EXPECT_TRUE(ProcessAttach(&anchor));
  EXPECT_EQ(events_, std::vector<std::string>{"DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n"});

  // The record handed over carries the module's name and handle, and is marked started
  // before the base library sees it: the base library refuses a record that is not.
  const YDR_MODULE_INFO *info = ModuleInfo();
  EXPECT_EQ(portable::Utf8FromWide(info->name), "YdrMod.YdrBaseMisc");
  EXPECT_EQ(info->instance, &anchor);
  YDR_MODULE_INFO not_started = *info;
  not_started.started = 0;
  EXPECT_EQ(bl::YdrInitModule(&not_started), 0);
  EXPECT_EQ(imports::LoadedModuleCount(), 1u);
  EXPECT_EQ(imports::CommonFolderCache(), root_ / "Suite/Common\\");

  // The base library is live: its services answer, and ours accepts a second registration of
  // the same record (a result the interface leaves to each base library).
  if (!YDR_STRICT_BASE_LIBRARY) {
    EXPECT_NE(bl::YdrInitModule(ModuleInfo()), 0);
  }
  unsigned char decoded[8];
  unsigned char *out = decoded;
  EXPECT_EQ(bl::YdrBase64ToAscii("eWRy", &out), 3);

  EXPECT_TRUE(ProcessDetach());
  EXPECT_EQ(events_.back(), "DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n");
  EXPECT_EQ(imports::LoadedModuleCount(), 0u);
  EXPECT_EQ(ModuleInfo()->started, 1u);  // never cleared
}

TEST_F(ModuleEntryTest, MissingBaseLibraryIsReportedAndEveryCallFailsSafely) {
  EXPECT_TRUE(ProcessAttach(nullptr));
  const std::vector<std::string> expected = {"DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n",
                                             std::string("Can't Find module ") + bl::kModuleName};
  EXPECT_EQ(events_, expected);

  // Each call that needs the base library fails with its ordinary failure result.
  events_.clear();
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
  EXPECT_EQ(events_.size(), 9u);  // one message for each call: every call searches again
  for (const std::string &event : events_) EXPECT_EQ(event, std::string("Can't Find module ") + bl::kModuleName);

  // Unloading does not search again: the message was shown while loading.
  events_.clear();
  EXPECT_TRUE(ProcessDetach());
  EXPECT_EQ(events_, std::vector<std::string>{"DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n"});
  EXPECT_EQ(imports::LoadedModuleCount(), 0u);
}

}  // namespace
}  // namespace ydr::frame
