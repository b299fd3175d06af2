// No C++ exception leaves the libraries through an export: where one cannot cross a module's
// edge (32-bit Windows), a throwing module shows it would end the host and its guard holds.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "ydr/base.h"
#include "ydr/plugin.h"

namespace {

using ydr::test::RunProcess;

#if defined(_WIN32) && defined(__i386__) && !defined(__USING_SJLJ_EXCEPTIONS__) && !defined(__SEH__)
constexpr bool kCrossingEndsTheProgram = true;
#else
constexpr bool kCrossingEndsTheProgram = false;
#endif

TEST(ExceptionBoundary, OnlyTheGuardKeepsAnExceptionFromEndingTheHost) {
  const auto unguarded = RunProcess({YDR_BOUNDARY_HOST, "unguarded"});
  if (kCrossingEndsTheProgram) {
    EXPECT_NE(unguarded.exit_status, 0) << unguarded.out;
    EXPECT_EQ(unguarded.out, "");
    EXPECT_NE(unguarded.err.find("terminate called"), std::string::npos) << unguarded.err;
  } else {
    EXPECT_EQ(unguarded.exit_status, 0) << unguarded.err;
    EXPECT_EQ(unguarded.out.rfind("caught", 0), 0u) << unguarded.out;
  }
  const auto guarded = RunProcess({YDR_BOUNDARY_HOST, "guarded"});
  EXPECT_EQ(guarded.exit_status, 0) << guarded.err;
  EXPECT_EQ(guarded.out.rfind("returned -1", 0), 0u) << guarded.out;  // a line, ended as the system ends lines
}

// A plug-in object that notes whether its state was read.
class Reader : public CYdrPluginObject {
 public:
  bool read = false;

 protected:
  int Serialize(CYdrPluginStream & /*stream*/, int storing) override {
    read = read || storing == 0;
    return 1;
  }
};

// A size no 32-bit container holds makes the export's work throw: the failure result, where
// the same call with a real size succeeds.
TEST(ExceptionBoundary, ExportsGiveTheFailureResultInsteadOfLettingTheExceptionOut) {
  if (sizeof(void *) != 4) GTEST_SKIP() << "at 64 bits these sizes could be allocated and short buffers overread";
  const std::vector<unsigned short> wide = {'a', 'b', 'c', 0};
  char ansi_out[16];
  unsigned short wide_out[16];
  const std::pair<const char *, std::function<bool(bool absurd)>> calls[] = {
      {"YdrUnicodeToAnsi",
       [&](bool absurd) {
         return YdrUnicodeToAnsi(65001, 0, wide.data(), absurd ? INT_MAX : 3, ansi_out, 16, 0) == 3;
       }},
      {"YdrAnsiToUnicode",
       [&](bool absurd) { return YdrAnsiToUnicode(65001, 0, "abc", absurd ? INT_MAX : 3, wide_out, 16, 0) == 3; }},
      {"CYdrPluginObject::SetRawData",
       [](bool absurd) {
         Reader reader;
         char state[] = "state";
         reader.SetRawData(state, absurd ? UINT_MAX - 1 : 5);
         return reader.read;
       }},
  };
  for (const auto &[name, succeeds] : calls) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(succeeds(false));
    EXPECT_FALSE(succeeds(true));
  }
}

}  // namespace
