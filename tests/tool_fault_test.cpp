// The command's writing paths under failure, the way storage engines are tried: an interposer
// (support/fault_shim.c, loaded with LD_PRELOAD) fails every counted C library call in turn (a
// disk error, a full disk, an interruption, a short transfer), every allocation in turn, or
// kills the process at chosen calls. After each run the folder the command worked in is
// compared with what it held before and with what a complete run leaves:
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
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/file_tree.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

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

// Points tried per sweep at most, spread evenly beyond that (said in the output); every sweep
// runs whole today (pack, unpack and test make 80 to 120 allocations). YDR_FAULT_POINTS
// raises the caps.
long Cap(long ordinary) {
  const char *text = std::getenv("YDR_FAULT_POINTS");
  return text != nullptr && *text != '\0' ? std::max(ordinary, std::strtol(text, nullptr, 10)) : ordinary;
}
const long kPointsPerSweep = Cap(300);
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

// Inputs that take a run of the command, made on first use: a file naming one holds it.
const char kCompressedText[] = "<Text(6000, 1) compressed>";
const char kPrivateKey[] = "<a private key>";

std::string Content(const std::string &content) {
  if (content == kCompressedText) {
    static const std::string bytes = ydr::test::RunProcess({YDR_TOOL, "gz", "-c"}, {}, Text(6000, 1)).out;
    return bytes;
  }
  if (content == kPrivateKey) {
    static const std::string pem = [] {
      TempDir dir;
      const auto made = ydr::test::RunProcess({YDR_TOOL, "rsa", "genkey", "--bits", "1024", dir / "k", dir / "p"});
      return made.exit_status == 0 ? ydr::test::ReadFile(dir / "k") : std::string();
    }();
    return pem;
  }
  return content;
}

// One command run on small files in a folder of its own.
struct Scenario {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // inputs, and any previous output
  std::vector<std::string> args;                           // paths relative to the folder
  std::vector<std::string> names;                          // what a message may name
  // An archive that a run which could not read some of its sources still writes, recording
  // those as never packed (the format's way of saying so): left that way, it is no departure.
  std::string partial = "";
  // Its output goes to standard output (named so in its messages), which fails like a file.
  bool StandardOutput() const { return names.front() == "standard output"; }
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

std::vector<Scenario> Scenarios() {
  const std::string text = Text(6000, 1), plain = Text(2000, 8), previous = "previous output";
  const std::string archive = ydr::test::BuildArchive({{"a.txt", 1, Text(3000, 2)},
                                                       {"d", 3, ""},
                                                       {"d\\b.txt", 1, Text(500, 3)},
                                                       {"d\\c.bin", 1, Bytes(700, 4)},
                                                       {"empty", 1, ""}});
  const std::vector<std::string> members = {"arch.ydz", "out", "a.txt", "b.txt", "c.bin", "'d'", "empty"};
  const std::string key = "00112233445566778899aabbccddeeff", vector = "0f0e0d0c0b0a09080706050403020100";
  std::vector<Scenario> all = {
      {"gz_compress_over_previous",
       {{"data.txt", text}, {"data.txt.ydgz", previous}},
       {"gz", "-f", "data.txt"},
       {"data.txt"}},
      {"gz_compress_and_remove", {{"data.txt", text}}, {"gz", "--remove", "data.txt"}, {"data.txt"}},
      {"gz_decompress_over_previous",
       {{"data.txt.ydgz", kCompressedText}, {"data.txt", previous}},
       {"gz", "-d", "-f", "data.txt.ydgz"},
       {"data.txt"}},
      {"gz_test", {{"data.txt.ydgz", kCompressedText}}, {"gz", "-t", "data.txt.ydgz"}, {"data.txt.ydgz"}},
      {"pack",
       {{"tree/a.txt", Text(3000, 5)}, {"tree/sub/b.txt", Text(400, 6)}, {"tree/sub/c.bin", Bytes(900, 7)}},
       {"pack", "-j", "1", "-q", "new.ydz", "tree"},
       {"new.ydz", "tree", "a.txt", "b.txt", "c.bin"},
       "new.ydz"},
      {"unpack",
       {{"arch.ydz", archive}, {"out/unrelated.txt", "not the archive's"}},
       {"unpack", "-q", "arch.ydz", "out"},
       members},
      {"unpack_overwrite",
       {{"arch.ydz", archive}, {"out/d/b.txt", previous}},
       {"unpack", "-q", "--overwrite", "arch.ydz", "out"},
       members},
      {"test", {{"arch.ydz", archive}}, {"test", "arch.ydz"}, {"arch.ydz", "a.txt", "b.txt", "c.bin", "empty"}},
      {"seed_out_over_previous",
       {{"plain.txt", plain}, {"sealed.bin", previous}},
       {"seed", "enc", "--mode", "cbc", "--key", key, "--iv", vector, "plain.txt", "sealed.bin"},
       {"plain.txt", "sealed.bin"}},
      {"ven_out",
       {{"plain.txt", Text(2000, 9)}, {"password", "correct horse"}},
       {"ven", "enc", "--kind", "4", "--password-file", "password", "plain.txt", "sealed.ven"},
       {"plain.txt", "sealed.ven", "password"}},
      {"gz_to_standard_output", {{"data.txt", text}}, {"gz", "-c", "data.txt"}, {"standard output", "data.txt"}},
      {"seed_to_standard_output",
       {{"plain.txt", plain}},
       {"seed", "enc", "--mode", "ofb", "--key", key, "--iv", vector, "plain.txt"},
       {"standard output", "plain.txt"}},
      {"list_to_standard_output", {{"arch.ydz", archive}}, {"list", "arch.ydz"}, {"standard output", "arch.ydz"}},
  };
#if YDR_CRYPTO_PEER
  all.push_back({"rsa_out_over_previous",
                 {{"key.pem", kPrivateKey}, {"plain.txt", "a short message to sign"}, {"signed.bin", previous}},
                 {"rsa", "enc", "--private", "key.pem", "plain.txt", "signed.bin"},
                 {"key.pem", "plain.txt", "signed.bin"}});
#endif
  return all;
}

// The commands that write archives, unpacked trees and streams; and, for kills only, a pack
// and an unpack of many files in many folders, with many more calls than kills.
std::vector<Scenario> Writers() {
  std::vector<std::pair<std::string, std::string>> tree;
  std::vector<ydr::test::ArchiveMember> members;
  for (int i = 0; i < 60; ++i) {
    const std::string folder = "f" + std::to_string(i % 6), file = "m" + std::to_string(i) + ".txt";
    const std::string text = Text(200 + 37 * static_cast<std::size_t>(i), 100 + static_cast<unsigned>(i));
    tree.emplace_back("tree/" + folder + "/" + file, text);
    members.emplace_back(folder + "\\" + file, 1, text);
  }
  std::vector<Scenario> writers = {
      {"pack_many", tree, {"pack", "-j", "1", "-q", "new.ydz", "tree"}, {"new.ydz"}},
      {"unpack_many",
       {{"arch.ydz", ydr::test::BuildArchive(members)}, {"out/f1/m1.txt", "previous output"}},
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

// A temporary a killed process leaves: the output's "<name>.ydr-XXXXXX" or an unpacked
// member's "<name>.<12 hex digits>.part", never a real name.
bool IsTemporary(const std::string &path) {
  static const std::regex pattern(R"(.*(\.ydr-[A-Za-z0-9]{6}|\.[0-9a-f]{12}\.part)$)");
  return std::regex_match(path, pattern);
}

struct Fault {
  std::string families;  // "io", "write", "read,write", "alloc", ...
  long at = 0;           // the counted call that fails, from 1; 0 only counts
  std::string error;     // EIO, ENOSPC, EINTR, SHORT or KILL
};

// A run of `scenario` with `fault` in a fresh folder, the folder's tree before and after, and
// what the interposer's log says.
struct Outcome {
  ProcessResult result;
  Tree before, after;
  std::string partial_listing;  // `ydr list` of the scenario's partial archive, when there is one
  long calls = -1;              // calls counted, when the process exited normally
  bool injected = false;        // the run reached the call
  std::string call;             // the failed call ("fwrite", "renameat2", ...)
  bool write_side = false;      // it changes what is on disk
  std::string Summary() const { return injected ? call + (write_side ? " (write side)" : " (read side)") : "no fault"; }
};

Outcome RunScenario(const Scenario &scenario, const Fault &fault) {
  TempDir dir, logs;
  for (const auto &[name, content] : scenario.files) dir.WriteFile(name, Content(content));
  Outcome outcome;
  outcome.before = ydr::test::TakeTree(dir.path());
  std::vector<std::string> argv = {YDR_TOOL};
  argv.insert(argv.end(), scenario.args.begin(), scenario.args.end());
  // gcc's sanitizer runtime wants to be the first library loaded; the interposer goes first on
  // purpose, under its interceptors' lookups.
  const char *asan = std::getenv("ASAN_OPTIONS");
  const bool allocation = fault.families == "alloc";
  const std::vector<std::string> env = {
      std::string("LD_PRELOAD=") + YDR_FAULT_SHIM_FOLDER +
          (allocation ? "/libydr_alloc_fault_shim.so" : "/libydr_fault_shim.so"),
      "ASAN_OPTIONS=" + (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") + "verify_asan_link_order=0",
      "YDR_FAULT_CALLS=" + fault.families, "YDR_FAULT_AT=" + std::to_string(fault.at), "YDR_FAULT_ERROR=" + fault.error,
      "YDR_FAULT_LOG=" + (logs / "log"), std::string("YDR_FAULT_STDOUT=") + (scenario.StandardOutput() ? "1" : "0"),
      // libcrypto does not survive a failed allocation inside its own set-up (it goes on with a
      // lock it could not make): failing those would test libcrypto, not the command.
      std::string("YDR_FAULT_SPARE=") + (allocation ? "libcrypto" : "")};
  outcome.result = ydr::test::RunProcess(argv, env, "", dir.path());
  outcome.after = ydr::test::TakeTree(dir.path());
  std::ifstream log(logs / "log");
  for (std::string line; std::getline(log, line);) {
    std::istringstream words(line);
    std::string word, side;
    words >> word;
    if (word == "calls") words >> outcome.calls;
    if (word == "fault") outcome.injected = static_cast<bool>(words >> outcome.call >> side);
    outcome.write_side = outcome.write_side || side == "write-side";
  }
  if (!scenario.partial.empty() && outcome.after.count(scenario.partial) != 0) {
    outcome.partial_listing = ydr::test::RunProcess({YDR_TOOL, "list", "-v", dir / scenario.partial}).out;
  }
  return outcome;
}

// Checks one failed-call run against the rules in the file's opening comment.
void CheckRun(const Scenario &scenario, const Fault &fault, const Outcome &outcome, const Outcome &complete) {
  const ProcessResult &result = outcome.result;
  SCOPED_TRACE("call " + std::to_string(fault.at) + " failed with " + fault.error + ": " + outcome.Summary() +
               "\nstderr: " + result.err);
  if (fault.error == "KILL") {
    EXPECT_TRUE(outcome.injected);
    EXPECT_EQ(result.exit_status, -1);
    for (const auto &problem : ydr::test::Departures(outcome.before, complete.after, outcome.after, IsTemporary)) {
      ADD_FAILURE() << problem;
    }
    return;
  }
  ASSERT_NE(result.exit_status, -1) << "the command ended by a signal";
  Tree after = outcome.after;
  if (!scenario.partial.empty() && result.exit_status == 1 && after.count(scenario.partial) != 0 &&
      complete.after.count(scenario.partial) != 0 && outcome.partial_listing.find("not-packed") != std::string::npos) {
    after[scenario.partial] = complete.after.at(scenario.partial);
  }
  for (const auto &problem :
       ydr::test::Departures(outcome.before, complete.after, after, [](const std::string &) { return false; })) {
    ADD_FAILURE() << problem;
  }
  if (!outcome.injected) return;
  const bool transfer = outcome.call == "read" || outcome.call == "pread" || outcome.call == "write";
  if ((fault.error == "EINTR" || fault.error == "SHORT") && transfer) {
    EXPECT_EQ(result.exit_status, 0) << "an interrupted or short transfer is retried";
  } else if (outcome.write_side && fault.error != "EINTR" && fault.error != "SHORT" && fault.families != "alloc") {
    EXPECT_NE(result.exit_status, 0) << "a failure on the writing side passed unreported";
  }
  if (result.exit_status == 0) {
    EXPECT_EQ(outcome.after, complete.after) << "a successful run leaves exactly what a complete run leaves";
    EXPECT_EQ(result.out, complete.result.out);
    return;
  }
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << "a failure is said on standard error";
  // Running out of memory is the process's trouble, not a file's.
  const bool named = std::any_of(scenario.names.begin(), scenario.names.end(),
                                 [&](const std::string &name) { return result.err.find(name) != std::string::npos; });
  EXPECT_TRUE(named || fault.families == "alloc") << "the message names no file";
}

class ToolFaultTest : public ::testing::TestWithParam<Scenario> {
 protected:
  // Sweeps the counted calls of `families` failing with `error`, one run each: every call, or
  // `cap` of them spread evenly.
  void Sweep(const std::string &families, const std::string &error, long cap) {
    const Scenario &scenario = GetParam();
    if (scenario.name.rfind("rsa", 0) == 0 && Content(kPrivateKey).empty()) GTEST_SKIP() << "no key could be made";
    SCOPED_TRACE(families + " calls failing with " + error);
    const Outcome complete = RunScenario(scenario, {families, 0, error});
    ASSERT_EQ(complete.result.exit_status, 0) << complete.result.err;
    ASSERT_GT(complete.calls, 0) << "the interposer counted nothing: is it loaded?";
    const long count = std::min(complete.calls, cap);
    std::printf("%s: %s calls failing with %s: %ld of %ld points%s\n", scenario.name.c_str(), families.c_str(),
                error.c_str(), count, complete.calls, count < complete.calls ? " (spread evenly)" : "");
    for (long i = 0; i < count; ++i) {
      const Fault fault{families, count == complete.calls ? i + 1 : 1 + i * (complete.calls - 1) / (count - 1), error};
      CheckRun(scenario, fault, RunScenario(scenario, fault), complete);
    }
    // One past the last counted call, the run completes untouched: the sweep saw them all.
    EXPECT_FALSE(RunScenario(scenario, {families, complete.calls + 1, error}).injected)
        << "the command made more calls than its complete run counted";
  }
};

TEST_P(ToolFaultTest, EveryCallFailingWithADiskError) { Sweep("io", "EIO", kPointsPerSweep); }

TEST_P(ToolFaultTest, EveryWriteFailingOnAFullDisk) {
  Sweep("write,sync,close,rename,mkdir", "ENOSPC", kPointsPerSweep);
}

TEST_P(ToolFaultTest, EveryCallInterrupted) { Sweep("io", "EINTR", kPointsPerSweep); }

TEST_P(ToolFaultTest, EveryTransferCutShort) { Sweep("read,write", "SHORT", kPointsPerSweep); }

// An uninstrumented allocator cannot stand in for a sanitizer's.
TEST_P(ToolFaultTest, EveryAllocationFailing) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' allocator cannot be replaced from outside";
  Sweep("alloc", "ENOMEM", kAllocationPointsPerSweep);
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolFaultTest, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

// SIGKILL at chosen calls: whatever was under way, no output is half-written under its real
// name and a previous output is intact; only a temporary under its own name may remain.
class ToolKillTest : public ToolFaultTest {};

TEST_P(ToolKillTest, KilledAtAnyCall) { Sweep("io", "KILL", kKillsPerCommand); }

INSTANTIATE_TEST_SUITE_P(Writers, ToolKillTest, ::testing::ValuesIn(Writers()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

}  // namespace
