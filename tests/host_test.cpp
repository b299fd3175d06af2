// The library loaded by a host program in an installed suite's folders: the real path, load, unload and search.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/loader.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

namespace {

using ydr::test::RunProcess;

constexpr const char *kAttach = "DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n";
constexpr const char *kDetach = "DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n";
const std::string kBase = ydr::platform::kBaseModuleName;
const std::string kMissing = "Can't Find module " + kBase + "\n";
#if defined(_WIN32)
constexpr bool kMessagesOnStandardError = false;  // the system's debug output and a message box
#else
constexpr bool kMessagesOnStandardError = true;
#endif

TEST(HostTest, LibraryRegistersWhereverTheBaseLibraryIsFound) {
  // Where the base library goes, relative to the root (null: nowhere).
  const std::pair<const char *, const char *> layouts[] = {
      {"beside the library", "Suite/Bin"},
      {"in the Common folder", "Suite/Common"},
      {"through Common Path", "Shared/Base"},  // named by the registry file in the environment, on POSIX
      {"nowhere: told once, while loading, and the host runs on", nullptr},
  };
  for (const auto &[name, base_folder] : layouts) {
    SCOPED_TRACE(name);
    const bool found = base_folder != nullptr;
    const std::string missing = found ? "" : kMissing;
    ydr::test::TempDir root;
    const std::string host = root.CopyFile(YDR_TEST_HOST, "Suite/Bin/host" YDR_EXECUTABLE_SUFFIX);
    root.CopyFile(YDR_MAIN_LIBRARY, std::string("Suite/Bin/") + YDR_MAIN_LIBRARY_SONAME);  // the name the host asks for
    if (found) root.CopyFile(YDR_BASE_LIBRARY, base_folder + ("/" + kBase));
    ydr::test::TestRegistry registry(root);
    registry.SetCommonPath(root / "Shared/Base");  // searched last
    const auto result = RunProcess({host}, {"YDR_DEBUG=1", registry.EnvironmentEntry(), "LD_LIBRARY_PATH"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, std::string("base:") + (found ? "loaded\n" : "missing\n"));
    EXPECT_EQ(result.err, kMessagesOnStandardError ? kAttach + missing + kDetach : "");
    // Without YDR_DEBUG the debug strings stay silent; the missing-module message does not.
    const auto quiet = RunProcess({host}, {"YDR_DEBUG=0", registry.EnvironmentEntry(), "LD_LIBRARY_PATH"});
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.err, kMessagesOnStandardError ? missing : "");
  }
}

}  // namespace
