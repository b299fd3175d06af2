// The command's writing paths under failure, the way storage engines are tried: an interposer
// (support/fault_shim.c, loaded with LD_PRELOAD) fails every counted C library call in turn (a
// disk error, an interruption, a short transfer), every allocation in turn, or kills the
// process at every call. After each run the folder is compared with what it held before and
// with what a complete run leaves:
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
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

using ydr::test::ProcessResult;
using ydr::test::TempDir;
using ydr::test::Tree;

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
    static const std::string stream = ydr::test::Ydr({"gz", "-c"}, Text(6000, 1)).out;
    return stream;
  }
  if (content != kPrivateKey) return content;
  static const std::string pem = [] {
    TempDir dir;
    ydr::test::Ydr({"rsa", "genkey", "--bits", "1024", dir / "k", dir / "p"});
    return ydr::test::ReadFile(dir / "k");
  }();
  return pem;
}

// One command run on small files in a folder of its own.
struct Scenario {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // inputs, and any previous output
  std::string command;                                     // split at spaces; paths relative to the folder
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
  const std::string seed = " --key 00112233445566778899aabbccddeeff --iv 0f0e0d0c0b0a09080706050403020100 plain.txt";
  std::vector<Scenario> all = {
      {"gz_compress_over_previous", {{"data.txt", text}, {"data.txt.ydgz", previous}}, "gz -f data.txt", {"data.txt"}},
      {"gz_compress_and_remove", {{"data.txt", text}}, "gz --remove data.txt", {"data.txt"}},
      {"gz_decompress_over_previous",
       {{"data.txt.ydgz", kCompressedText}, {"data.txt", previous}},
       "gz -d -f data.txt.ydgz",
       {"data.txt"}},
      {"gz_test", {{"data.txt.ydgz", kCompressedText}}, "gz -t data.txt.ydgz", {"data.txt.ydgz"}},
      {"pack",
       {{"tree/a.txt", Text(3000, 5)}, {"tree/sub/b.txt", Text(400, 6)}, {"tree/sub/c.bin", Bytes(900, 7)}},
       "pack -j 1 -q new.ydz tree",
       {"new.ydz", "tree", "a.txt", "b.txt", "c.bin"},
       "new.ydz"},
      {"unpack",
       {{"arch.ydz", archive}, {"out/unrelated.txt", "not the archive's"}},
       "unpack -q arch.ydz out",
       members},
      {"unpack_overwrite",
       {{"arch.ydz", archive}, {"out/d/b.txt", previous}},
       "unpack -q --overwrite arch.ydz out",
       members},
      {"test", {{"arch.ydz", archive}}, "test arch.ydz", {"arch.ydz", "a.txt", "b.txt", "c.bin", "empty"}},
      {"seed_out_over_previous",
       {{"plain.txt", plain}, {"sealed.bin", previous}},
       "seed enc --mode cbc" + seed + " sealed.bin",
       {"plain.txt", "sealed.bin"}},
      {"ven_out",
       {{"plain.txt", Text(2000, 9)}, {"password", "correct horse"}},
       "ven enc --kind 4 --password-file password plain.txt sealed.ven",
       {"plain.txt", "sealed.ven", "password"}},
      {"gz_to_standard_output", {{"data.txt", text}}, "gz -c data.txt", {"standard output", "data.txt"}},
      {"seed_to_standard_output",
       {{"plain.txt", plain}},
       "seed enc --mode ofb" + seed,
       {"standard output", "plain.txt"}},
      {"list_to_standard_output", {{"arch.ydz", archive}}, "list arch.ydz", {"standard output", "arch.ydz"}},
  };
#if YDR_CRYPTO_PEER
  all.push_back({"rsa_out_over_previous",
                 {{"key.pem", kPrivateKey}, {"plain.txt", "a short message to sign"}, {"signed.bin", previous}},
                 "rsa enc --private key.pem plain.txt signed.bin",
                 {"key.pem", "plain.txt", "signed.bin"}});
#endif
  return all;
}

// A temporary a killed process leaves: the output's "<name>.ydr-XXXXXX" or an unpacked
// member's "<name>.<12 hex digits>.part", never a real name.
bool IsTemporary(const std::string &path) {
  static const std::regex pattern(R"(.*(\.ydr-[A-Za-z0-9]{6}|\.[0-9a-f]{12}\.part)$)");
  return std::regex_match(path, pattern);
}

struct Fault {
  std::string families;  // "io", "read,write", "alloc", ...
  long at = 0;           // the counted call that fails, from 1; 0 only counts
  std::string error;     // EIO, EINTR, SHORT, KILL or ENOMEM
};

// A run of `scenario` with `fault` in a fresh folder, the folder's tree before and after, and
// what the interposer's log says.
struct Outcome {
  ProcessResult result;
  Tree before, after;
  long calls = -1;          // calls counted, when the process exited normally
  bool injected = false;    // the run reached the call
  std::string call;         // the failed call ("fwrite", "renameat2", ...)
  bool write_side = false;  // it changes what is on disk
};

Outcome RunScenario(const Scenario &scenario, const Fault &fault) {
  TempDir dir, logs;
  for (const auto &[name, content] : scenario.files) dir.WriteFile(name, Content(content));
  Outcome outcome;
  outcome.before = ydr::test::TakeTree(dir.path());
  std::vector<std::string> argv = ydr::test::Words(scenario.command);
  argv.insert(argv.begin(), YDR_TOOL);
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
  for (std::string word, side; log >> word;) {
    if (word == "calls") log >> outcome.calls;
    if (word == "fault") outcome.injected = static_cast<bool>(log >> outcome.call >> side);
    outcome.write_side = outcome.write_side || side == "write-side";
  }
  // A partial archive that records what it could not read as never packed is no departure.
  if (!scenario.partial.empty() && outcome.after.count(scenario.partial) != 0) {
    const std::string listing = ydr::test::Ydr({"list", "-v", dir / scenario.partial}).out;
    if (outcome.result.exit_status == 1 && listing.find("not-packed") != std::string::npos) {
      outcome.after.erase(scenario.partial);
    }
  }
  return outcome;
}

// Checks one failed-call run against the rules in the file's opening comment.
void CheckRun(const Scenario &scenario, const Fault &fault, const Outcome &outcome, const Outcome &complete) {
  const ProcessResult &result = outcome.result;
  SCOPED_TRACE("call " + std::to_string(fault.at) + " failed with " + fault.error + ": " +
               (outcome.injected ? outcome.call : "no fault") + "\nstderr: " + result.err);
  const bool kill = fault.error == "KILL";
  EXPECT_EQ(result.exit_status == -1, kill) << "a killed run ends by the signal, no other run does";
  for (const auto &problem :
       ydr::test::Departures(outcome.before, complete.after, outcome.after,
                             [&](const std::string &path) { return kill && IsTemporary(path); })) {
    ADD_FAILURE() << problem;
  }
  if (kill || !outcome.injected) return;
  const bool retried = fault.error == "EINTR" || fault.error == "SHORT";
  if (retried && (outcome.call == "read" || outcome.call == "pread" || outcome.call == "write")) {
    EXPECT_EQ(result.exit_status, 0) << "an interrupted or short transfer is retried";
  } else if (outcome.write_side && !retried && fault.families != "alloc") {
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
  // Fails each counted call of `families` with `error`, one run each, then one past the last.
  void Sweep(const std::string &families, const std::string &error) {
    const Scenario &scenario = GetParam();
    SCOPED_TRACE(families + " calls failing with " + error);
    const Outcome complete = RunScenario(scenario, {families, 0, error});
    ASSERT_EQ(complete.result.exit_status, 0) << complete.result.err;
    ASSERT_GT(complete.calls, 0) << "the interposer counted nothing: is it loaded?";
    std::printf("%s: %s calls failing with %s: %ld points\n", scenario.name.c_str(), families.c_str(), error.c_str(),
                complete.calls);
    for (long at = 1; at <= complete.calls; ++at) {
      const Fault fault{families, at, error};
      CheckRun(scenario, fault, RunScenario(scenario, fault), complete);
    }
    EXPECT_FALSE(RunScenario(scenario, {families, complete.calls + 1, error}).injected)
        << "the command made more calls than its complete run counted";
  }
};

// EIO stands for every error a call can give: the command tells none apart (ENOSPC included).
TEST_P(ToolFaultTest, EveryCallFailingWithADiskError) { Sweep("io", "EIO"); }

// Only a transfer is retried; elsewhere EINTR is an error like any other.
TEST_P(ToolFaultTest, EveryTransferInterrupted) { Sweep("read,write", "EINTR"); }

TEST_P(ToolFaultTest, EveryTransferCutShort) { Sweep("read,write", "SHORT"); }

// Whatever was under way, no output is half-written under its real name and a previous
// output is intact; only a temporary under its own name may remain.
TEST_P(ToolFaultTest, KilledAtAnyCall) { Sweep("io", "KILL"); }

// An uninstrumented allocator cannot stand in for a sanitizer's.
TEST_P(ToolFaultTest, EveryAllocationFailing) {
  if (YDR_SANITIZED) GTEST_SKIP() << "the sanitizers' allocator cannot be replaced from outside";
  Sweep("alloc", "ENOMEM");
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolFaultTest, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

}  // namespace
