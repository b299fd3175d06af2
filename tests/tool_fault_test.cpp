// The command's writing paths under failure, the way storage engines are tried: every
// counted C library call made to fail in turn (a disk error, a full disk, an interruption, a
// short transfer), every allocation made to fail in turn, and the process killed at chosen
// calls. After each run the folder the command worked in is compared with what it held
// before and with what a complete run leaves:
//   - nothing but the command's outputs changes, and each output is either as it was or
//     complete (never half-written under its real name, never a previous output destroyed);
//   - no temporary is left behind (after a kill, only temporaries under their own names);
//   - a run that fails exits 1 with a message naming a file; a failure that changes what is
//     on disk is never passed over; an interrupted or short transfer is retried and the run
//     succeeds; nothing ends by a signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/fault_injection.h"
#include "tests/support/file_tree.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

using ydr::test::ArchiveMember;
using ydr::test::Fault;
using ydr::test::FaultRun;
using ydr::test::ProcessResult;
using ydr::test::TempDir;
using ydr::test::Tree;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Points tried per sweep at most; beyond that they are spread evenly (said in the output).
// YDR_FAULT_POINTS raises the caps (for longer runs on demand).
long Cap(long ordinary) {
  const char *text = std::getenv("YDR_FAULT_POINTS");
  return text != nullptr && *text != '\0' ? std::max(ordinary, std::strtol(text, nullptr, 10)) : ordinary;
}
const long kPointsPerSweep = Cap(300);
// Every allocation is swept (pack, unpack and test make 80 to 120).
const long kAllocationPointsPerSweep = Cap(200);
constexpr long kKillsPerCommand = 100;

std::string Text(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  static const char *const kWords[] = {"archive ", "member ", "stream ", "deflate ", "window ", "CRC ", "\n"};
  std::string out;
  while (out.size() < size) out += kWords[random() % 7];
  out.resize(size);
  return out;
}

std::string Bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (char &c : out) c = static_cast<char>(random());
  return out;
}

const std::string kKey = "00112233445566778899aabbccddeeff";
const std::string kVector = "0f0e0d0c0b0a09080706050403020100";

// The stream-format file of Text(6000, 1), made once by the command itself.
const std::string &CompressedText() {
  static const std::string bytes = [] {
    return ydr::test::RunProcess({YDR_TOOL, "gz", "-c"}, {}, Text(6000, 1)).out;
  }();
  return bytes;
}

const std::string &Archive() {
  static const std::string bytes = ydr::test::BuildArchive({
      {"a.txt", 1, Text(3000, 2)},
      {"d", 3, ""},
      {"d\\b.txt", 1, Text(500, 3)},
      {"d\\c.bin", 1, Bytes(700, 4)},
      {"empty", 1, ""},
  });
  return bytes;
}

#if YDR_CRYPTO_PEER
const std::string &PrivateKey() {
  static const std::string pem = [] {
    TempDir dir;
    const ProcessResult made =
        ydr::test::RunProcess({YDR_TOOL, "rsa", "genkey", "--bits", "1024", dir / "k.pem", dir / "k.pub"});
    return made.exit_status == 0 ? ydr::test::ReadFile(dir / "k.pem") : std::string();
  }();
  return pem;
}
#endif

// One command run on small files in a folder of its own.
struct Scenario {
  std::string name;
  std::function<void(const TempDir &)> prepare;  // inputs, and any previous output
  std::vector<std::string> args;                 // paths relative to the folder
  std::vector<std::string> names;                // what a message may name
  // An archive that a run which could not read some of its sources still writes, recording
  // those as never packed (the format's way of saying so): left that way, it is no departure.
  std::string partial = "";
  bool standard_output = false;  // its output goes to standard output, which fails like a file
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all = {
      {"gz_compress_over_previous",
       [](const TempDir &dir) {
         dir.WriteFile("data.txt", Text(6000, 1));
         dir.WriteFile("data.txt.ydgz", "previous output");
       },
       {"gz", "-f", "data.txt"},
       {"data.txt"}},
      {"gz_compress_and_remove",
       [](const TempDir &dir) { dir.WriteFile("data.txt", Text(6000, 1)); },
       {"gz", "--remove", "data.txt"},
       {"data.txt"}},
      {"gz_decompress_over_previous",
       [](const TempDir &dir) {
         dir.WriteFile("data.txt.ydgz", CompressedText());
         dir.WriteFile("data.txt", "previous output");
       },
       {"gz", "-d", "-f", "data.txt.ydgz"},
       {"data.txt"}},
      {"gz_test",
       [](const TempDir &dir) { dir.WriteFile("data.txt.ydgz", CompressedText()); },
       {"gz", "-t", "data.txt.ydgz"},
       {"data.txt.ydgz"}},
      {"pack",
       [](const TempDir &dir) {
         dir.WriteFile("tree/a.txt", Text(3000, 5));
         dir.WriteFile("tree/sub/b.txt", Text(400, 6));
         dir.WriteFile("tree/sub/c.bin", Bytes(900, 7));
       },
       {"pack", "-j", "1", "-q", "new.ydz", "tree"},
       {"new.ydz", "tree", "a.txt", "b.txt", "c.bin"},
       "new.ydz"},
      {"unpack",
       [](const TempDir &dir) {
         dir.WriteFile("arch.ydz", Archive());
         dir.WriteFile("out/unrelated.txt", "not the archive's");
       },
       {"unpack", "-q", "arch.ydz", "out"},
       {"arch.ydz", "out", "a.txt", "b.txt", "c.bin", "'d'", "empty"}},
      {"unpack_overwrite",
       [](const TempDir &dir) {
         dir.WriteFile("arch.ydz", Archive());
         dir.WriteFile("out/d/b.txt", "previous output");
       },
       {"unpack", "-q", "--overwrite", "arch.ydz", "out"},
       {"arch.ydz", "out", "a.txt", "b.txt", "c.bin", "'d'", "empty"}},
      {"test",
       [](const TempDir &dir) { dir.WriteFile("arch.ydz", Archive()); },
       {"test", "arch.ydz"},
       {"arch.ydz", "a.txt", "b.txt", "c.bin", "empty"}},
      {"seed_out_over_previous",
       [](const TempDir &dir) {
         dir.WriteFile("plain.txt", Text(2000, 8));
         dir.WriteFile("sealed.bin", "previous output");
       },
       {"seed", "enc", "--mode", "cbc", "--key", kKey, "--iv", kVector, "plain.txt", "sealed.bin"},
       {"plain.txt", "sealed.bin"}},
      {"ven_out",
       [](const TempDir &dir) {
         dir.WriteFile("plain.txt", Text(2000, 9));
         dir.WriteFile("password", "correct horse");
       },
       {"ven", "enc", "--kind", "4", "--password-file", "password", "plain.txt", "sealed.ven"},
       {"plain.txt", "sealed.ven", "password"}},
      {"gz_to_standard_output",
       [](const TempDir &dir) { dir.WriteFile("data.txt", Text(6000, 1)); },
       {"gz", "-c", "data.txt"},
       {"standard output", "data.txt"},
       "",
       true},
      {"seed_to_standard_output",
       [](const TempDir &dir) { dir.WriteFile("plain.txt", Text(2000, 8)); },
       {"seed", "enc", "--mode", "ofb", "--key", kKey, "--iv", kVector, "plain.txt"},
       {"standard output", "plain.txt"},
       "",
       true},
      {"list_to_standard_output",
       [](const TempDir &dir) { dir.WriteFile("arch.ydz", Archive()); },
       {"list", "arch.ydz"},
       {"standard output", "arch.ydz"},
       "",
       true},
  };
#if YDR_CRYPTO_PEER
  all.push_back({"rsa_out_over_previous",
                 [](const TempDir &dir) {
                   dir.WriteFile("key.pem", PrivateKey());
                   dir.WriteFile("plain.txt", "a short message to sign");
                   dir.WriteFile("signed.bin", "previous output");
                 },
                 {"rsa", "enc", "--private", "key.pem", "plain.txt", "signed.bin"},
                 {"key.pem", "plain.txt", "signed.bin"}});
#endif
  return all;
}

std::string ShimPath(bool allocation) {
  return std::string(YDR_FAULT_SHIM_FOLDER) + (allocation ? "/libydr_alloc_fault_shim.so" : "/libydr_fault_shim.so");
}

bool MayNotRemain(const std::string &) { return false; }

// A temporary a killed process leaves: the output's "<name>.ydr-XXXXXX" or an unpacked
// member's "<name>.<12 hex digits>.part", never a real name.
bool IsTemporary(const std::string &path) {
  static const std::regex pattern(R"(.*(\.ydr-[A-Za-z0-9]{6}|\.[0-9a-f]{12}\.part)$)");
  return std::regex_match(path, pattern);
}

bool NamesAFile(const std::string &err, const Scenario &scenario) {
  return std::any_of(scenario.names.begin(), scenario.names.end(),
                     [&](const std::string &name) { return err.find(name) != std::string::npos; });
}

// A run of `scenario` in a fresh folder; `before` and the folder's tree afterwards.
struct Outcome {
  FaultRun run;
  Tree before, after;
  std::string partial_listing;  // `ydr list` of the scenario's partial archive, when there is one
};

Outcome RunScenario(const Scenario &scenario, const Fault &fault, bool allocation) {
  TempDir dir, logs;
  scenario.prepare(dir);
  Outcome outcome;
  outcome.before = ydr::test::TakeTree(dir.path());
  std::vector<std::string> argv = {YDR_TOOL};
  argv.insert(argv.end(), scenario.args.begin(), scenario.args.end());
  Fault asked = fault;
  asked.standard_output = scenario.standard_output;
  // libcrypto's own allocations are left alone (see Fault::spared); the command's, the
  // library's and the C++ runtime's around them are all swept.
  if (allocation) asked.spared = "libcrypto";
  outcome.run = ydr::test::RunWithFault(ShimPath(allocation), argv, asked, dir.path(), logs / "log");
  outcome.after = ydr::test::TakeTree(dir.path());
  if (!scenario.partial.empty() && outcome.after.count(scenario.partial) != 0) {
    outcome.partial_listing = ydr::test::RunProcess({YDR_TOOL, "list", "-v", dir / scenario.partial}).out;
  }
  return outcome;
}

// What a complete run leaves, and how many calls of `families` it makes.
struct Complete {
  Tree tree;
  std::string out;
  long calls = 0;
};

Complete CompleteRun(const Scenario &scenario, const std::string &families, bool allocation) {
  const Outcome clean = RunScenario(scenario, {families, 0, "EIO"}, allocation);
  EXPECT_EQ(clean.run.result.exit_status, 0) << clean.run.result.err;
  EXPECT_GT(clean.run.calls, 0) << "the interposer counted nothing: is it loaded?";
  return {clean.after, clean.run.result.out, clean.run.calls};
}

bool Retried(const Fault &fault, const FaultRun &run) {
  static const std::vector<std::string> transfers = {"read", "pread", "write", "pwrite"};
  return (fault.error == "EINTR" || fault.error == "SHORT") &&
         std::find(transfers.begin(), transfers.end(), run.call) != transfers.end();
}

// Checks one failed-call run against the rules in the file's opening comment.
void CheckRun(const Scenario &scenario, const Fault &fault, const Outcome &outcome, const Complete &complete) {
  const FaultRun &run = outcome.run;
  SCOPED_TRACE("call " + std::to_string(fault.at) + " failed with " + fault.error + ": " + run.Summary() +
               "\nstderr: " + run.result.err);
  ASSERT_NE(run.result.exit_status, -1) << "the command ended by a signal";
  Tree after = outcome.after;
  if (!scenario.partial.empty() && run.result.exit_status == 1 && after.count(scenario.partial) != 0 &&
      complete.tree.count(scenario.partial) != 0 && outcome.partial_listing.find("not-packed") != std::string::npos) {
    after[scenario.partial] = complete.tree.at(scenario.partial);
  }
  for (const std::string &problem : ydr::test::Departures(outcome.before, complete.tree, after, MayNotRemain)) {
    ADD_FAILURE() << problem;
  }
  if (!run.injected) return;
  if (Retried(fault, run)) {
    EXPECT_EQ(run.result.exit_status, 0) << "an interrupted or short transfer is retried";
  } else if (run.write_side && fault.error != "EINTR" && fault.error != "SHORT" && fault.families != "alloc") {
    EXPECT_NE(run.result.exit_status, 0) << "a failure on the writing side passed unreported";
  }
  if (run.result.exit_status == 0) {
    EXPECT_EQ(outcome.after, complete.tree) << "a successful run leaves exactly what a complete run leaves";
    EXPECT_EQ(run.result.out, complete.out);
  } else {
    EXPECT_EQ(run.result.exit_status, 1);
    EXPECT_EQ(run.result.err.rfind("ydr: ", 0), 0u) << "a failure is said on standard error";
    // Running out of memory is the process's trouble, not a file's.
    if (fault.families != "alloc") {
      EXPECT_TRUE(NamesAFile(run.result.err, scenario)) << "the message names no file";
    }
  }
}

class ToolFaultTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
#if YDR_CRYPTO_PEER
    if (GetParam().name.rfind("rsa", 0) == 0 && PrivateKey().empty()) GTEST_SKIP() << "no key could be made";
#endif
  }

  // Sweeps every counted call of `families` failing with `error`, one run each.
  void Sweep(const std::string &families, const std::string &error, bool allocation, long cap) {
    const Scenario &scenario = GetParam();
    SCOPED_TRACE(families + " calls failing with " + error);
    const Complete complete = CompleteRun(scenario, families, allocation);
    if (HasFailure()) return;
    const std::vector<long> points = ydr::test::SweepPoints(complete.calls, cap);
    std::printf(
        "%s: %s calls failing with %s: %zu of %ld points%s\n", scenario.name.c_str(), families.c_str(), error.c_str(),
        points.size(), complete.calls,
        points.size() < static_cast<std::size_t>(complete.calls) ? " (spread evenly: the sweep is capped)" : "");
    for (const long at : points) {
      const Fault fault{families, at, error};
      CheckRun(scenario, fault, RunScenario(scenario, fault, allocation), complete);
    }
    // One past the last counted call, the run completes untouched: the sweep saw them all.
    const Fault past{families, complete.calls + 1, error};
    const Outcome last = RunScenario(scenario, past, allocation);
    EXPECT_FALSE(last.run.injected) << "the command made more calls than its complete run counted";
  }
};

TEST_P(ToolFaultTest, EveryCallFailingWithADiskError) { Sweep("io", "EIO", false, kPointsPerSweep); }

TEST_P(ToolFaultTest, EveryWriteFailingOnAFullDisk) {
  Sweep("write,sync,close,rename,mkdir", "ENOSPC", false, kPointsPerSweep);
}

TEST_P(ToolFaultTest, EveryCallInterrupted) { Sweep("io", "EINTR", false, kPointsPerSweep); }

TEST_P(ToolFaultTest, EveryTransferCutShort) { Sweep("read,write", "SHORT", false, kPointsPerSweep); }

// Allocation failures: an uninstrumented allocator cannot stand in for a sanitizer's.
TEST_P(ToolFaultTest, EveryAllocationFailing) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' allocator cannot be replaced from outside";
  Sweep("alloc", "ENOMEM", true, kAllocationPointsPerSweep);
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolFaultTest, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

// SIGKILL at chosen calls: whatever was under way, no output is half-written under its real
// name and a previous output is intact; the only thing that may remain is a temporary under
// its own name, which a killed process cannot remove.
class ToolKillTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(ToolKillTest, KilledAtAnyCall) {
  const Scenario &scenario = GetParam();
  const Complete complete = CompleteRun(scenario, "io", false);
  if (HasFailure()) return;
  // Every call when there are few; otherwise as many distinct calls, chosen by a generator
  // seeded with the scenario's name (the same calls on every run).
  std::vector<long> points;
  for (long n = 1; n <= complete.calls; ++n) points.push_back(n);
  if (complete.calls > kKillsPerCommand) {
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(scenario.name)));
    std::shuffle(points.begin(), points.end(), random);
    points.resize(kKillsPerCommand);
    std::sort(points.begin(), points.end());
  }
  std::printf("%s: killed at %zu of %ld calls\n", scenario.name.c_str(), points.size(), complete.calls);
  for (const long at : points) {
    const Outcome outcome = RunScenario(scenario, {"io", at, "KILL"}, false);
    SCOPED_TRACE("killed at call " + std::to_string(at) + ": " + outcome.run.Summary());
    EXPECT_TRUE(outcome.run.injected);
    EXPECT_EQ(outcome.run.result.exit_status, -1);
    for (const std::string &problem :
         ydr::test::Departures(outcome.before, complete.tree, outcome.after, IsTemporary)) {
      ADD_FAILURE() << problem;
    }
  }
}

// An archive of many members in many folders, for runs with many more calls than kills.
const std::string &LargeArchive() {
  static const std::string bytes = [] {
    std::vector<ArchiveMember> members;
    for (int i = 0; i < 60; ++i) {
      members.emplace_back("f" + std::to_string(i % 6) + "\\m" + std::to_string(i) + ".txt", 1,
                           Text(200 + 37 * static_cast<std::size_t>(i), 100 + static_cast<unsigned>(i)));
    }
    return ydr::test::BuildArchive(members);
  }();
  return bytes;
}

// The commands that write archives, unpacked trees and streams; and, for kills only, a
// pack and an unpack of many files.
std::vector<Scenario> Writers() {
  std::vector<Scenario> writers = {
      {"pack_many",
       [](const TempDir &dir) {
         for (int i = 0; i < 60; ++i) {
           dir.WriteFile("tree/f" + std::to_string(i % 6) + "/m" + std::to_string(i) + ".txt",
                         Text(200 + 37 * static_cast<std::size_t>(i), 100 + static_cast<unsigned>(i)));
         }
       },
       {"pack", "-j", "1", "-q", "new.ydz", "tree"},
       {"new.ydz"}},
      {"unpack_many",
       [](const TempDir &dir) {
         dir.WriteFile("arch.ydz", LargeArchive());
         dir.WriteFile("out/f1/m1.txt", "previous output");
       },
       {"unpack", "-q", "--overwrite", "arch.ydz", "out"},
       {"arch.ydz"}},
  };
  for (const Scenario &scenario : Scenarios()) {
    const std::string &command = scenario.args.front();
    if ((command == "gz" && scenario.args[1] != "-t") || command == "pack" || command == "unpack") {
      writers.push_back(scenario);
    }
  }
  return writers;
}

INSTANTIATE_TEST_SUITE_P(Writers, ToolKillTest, ::testing::ValuesIn(Writers()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

}  // namespace
