// The library as a host loads it: copied with a host program into folder trees laid out as
// an installed suite, so that the executable's real path, the real load and unload, and the
// real search for the base library are what is tested.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/loader.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_registry.h"

namespace {

using ydr::test::RunProcess;
using ydr::test::TempDir;

constexpr const char *kAttach = "DllMain() : DLL_PROCESS_ATTACH -  YdrBaseMisc Start!\n";
constexpr const char *kDetach = "DllMain() : DLL_PROCESS_DETACH -  YdrBaseMisc End!\n";
const std::string kBase = ydr::platform::kBaseModuleName;
const std::string kMissing = "Can't Find module " + kBase + "\n";
#if defined(_WIN32)
// The messages go to the system's debug output and message box there, not to a stream.
constexpr bool kMessagesOnStandardError = false;
#else
constexpr bool kMessagesOnStandardError = true;
#endif

TEST(HostTest, LibraryRegistersWhereverTheBaseLibraryIsFound) {
  const std::string loaded = std::string(kAttach) + kDetach;
  const struct {
    const char *name;
    const char *base_folder;  // where the base library goes, relative to the root; null: nowhere
    bool registry_points_there;
    std::string expected_err;
  } layouts[] = {
      {"beside the library", "Suite/Bin", false, loaded},
      {"in the Common folder", "Suite/Common", false, loaded},
      {"through Common Path", "Shared/Base", true, loaded},
      // Told once, while loading; unloading searches no more.
      {"nowhere: told, and the host runs on", nullptr, false, kAttach + kMissing + kDetach},
  };
  for (const auto &layout : layouts) {
    SCOPED_TRACE(layout.name);
    TempDir root;
    const std::string host = root.CopyFile(YDR_TEST_HOST, "Suite/Bin/host" YDR_EXECUTABLE_SUFFIX);
    root.CopyFile(YDR_MAIN_LIBRARY, std::string("Suite/Bin/") + YDR_MAIN_LIBRARY_SONAME);  // the name the host asks for
    if (layout.base_folder != nullptr) root.CopyFile(YDR_BASE_LIBRARY, layout.base_folder + ("/" + kBase));
    ydr::test::TestRegistry registry(root);
    if (layout.registry_points_there) registry.SetCommonPath(root / "Shared/Base");
    const auto result = RunProcess({host}, {"YDR_DEBUG=1", registry.EnvironmentEntry(), "LD_LIBRARY_PATH"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out,
              std::string("host:CMXCIX base:") + (layout.base_folder != nullptr ? "loaded\n" : "missing\n"));
    EXPECT_EQ(result.err, kMessagesOnStandardError ? layout.expected_err : "");
    // Without YDR_DEBUG the debug strings stay silent; the missing-module message does not.
    const auto quiet = RunProcess({host}, {"YDR_DEBUG=0", registry.EnvironmentEntry(), "LD_LIBRARY_PATH"});
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.err, layout.base_folder == nullptr && kMessagesOnStandardError ? kMissing : "");
  }
}

}  // namespace
