// The command under an interposer (support/fault_shim.c, by LD_PRELOAD) failing each counted
// call or allocation in turn, or killing it at each call. After every run each path is as
// before or as a complete run leaves it, no temporary remains (after a kill only under its own
// name), a short or interrupted transfer is retried, and a failure that changes the disk is
// reported: exit 1 with a message naming a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
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

// Words of the domain, or random bytes.
std::string Sample(std::size_t size, unsigned seed, bool binary = false) {
  static const char *const kWords[] = {"archive ", "member ", "stream ", "deflate ", "window ", "CRC ", "\n"};
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < size) out += binary ? std::string(1, static_cast<char>(random())) : kWords[random() % 7];
  out.resize(size);
  return out;
}

// Inputs that take a run of the command, made on first use: a file naming one holds it.
const char kCompressedText[] = "<Sample(6000, 1) compressed>";
const char kPrivateKey[] = "<a private key>";

std::string Content(const std::string &content) {
  if (content == kCompressedText) {
    static const std::string stream = ydr::test::Ydr({"gz", "-c"}, Sample(6000, 1)).out;
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

struct Scenario {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // inputs, and any previous output
  std::string command;                                     // paths relative to the folder
  std::vector<std::string> names;                          // what a message may name
  // An archive written though some sources could not be read, recording them as never packed.
  std::string partial = "";
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

std::vector<Scenario> Scenarios() {
  const std::string text = Sample(6000, 1), previous = "previous output";
  const std::string archive = ydr::test::BuildArchive({{"a.txt", 1, Sample(3000, 2)},
                                                       {"d", 3, ""},
                                                       {"d\\b.txt", 1, Sample(500, 3)},
                                                       {"d\\c.bin", 1, Sample(700, 4, true)},
                                                       {"empty", 1, ""}});
  const std::vector<std::string> members = {"arch.ydz", "out", "a.txt", "b.txt", "c.bin", "'d'", "empty"};
  std::vector<Scenario> all = {
      {"gz_compress_over_previous", {{"data.txt", text}, {"data.txt.ydgz", previous}}, "gz -f data.txt", {"data.txt"}},
      {"gz_compress_and_remove", {{"data.txt", text}}, "gz --remove data.txt", {"data.txt"}},
      {"gz_decompress_over_previous",
       {{"data.txt.ydgz", kCompressedText}, {"data.txt", previous}},
       "gz -d -f data.txt.ydgz",
       {"data.txt"}},
      {"gz_test", {{"data.txt.ydgz", kCompressedText}}, "gz -t data.txt.ydgz", {"data.txt.ydgz"}},
      {"pack",
       {{"tree/a.txt", Sample(3000, 5)}, {"tree/sub/b.txt", Sample(400, 6)}, {"tree/sub/c.bin", Sample(900, 7, true)}},
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
      {"test",
       {{"arch.ydz", archive}},
       "test arch.ydz",
       {"standard output", "arch.ydz", "a.txt", "b.txt", "c.bin", "empty"}},
      {"seed_out_over_previous",
       {{"plain.txt", Sample(2000, 8)}, {"sealed.bin", previous}},
       "seed enc --mode cbc --key 00112233445566778899aabbccddeeff --iv 0f0e0d0c0b0a09080706050403020100 plain.txt "
       "sealed.bin",
       {"plain.txt", "sealed.bin"}},
      {"ven_out",
       {{"plain.txt", Sample(2000, 9)}, {"password", "correct horse"}},
       "ven enc --kind 4 --password-file password plain.txt sealed.ven",
       {"plain.txt", "sealed.ven", "password"}},
      {"gz_to_standard_output", {{"data.txt", text}}, "gz -c data.txt", {"standard output", "data.txt"}},
      {"list_to_standard_output", {{"arch.ydz", archive}}, "list arch.ydz", {"standard output", "arch.ydz"}},
      {"rsa_out_over_previous",
       {{"key.pem", kPrivateKey}, {"plain.txt", "a short message to sign"}, {"signed.bin", previous}},
       "rsa enc --private key.pem plain.txt signed.bin",
       {"key.pem", "plain.txt", "signed.bin"}},
  };
  if (!YDR_CRYPTO_PEER) all.pop_back();  // rsa needs libcrypto
  return all;
}

// A run in a fresh folder, the folder's tree before and after, and the interposer's log.
struct Outcome {
  ProcessResult result;
  Tree before, after;
  long calls = -1;          // calls counted, when the process exited normally
  bool injected = false;    // the run reached the failing call
  std::string call;         // which it was ("fwrite", "renameat2", ...)
  bool write_side = false;  // it changes what is on disk
};

class ToolFaultTest : public ::testing::TestWithParam<Scenario> {
 protected:
  // Call `at` of `families` (counted from 1; 0 fails none) fails with `error`.
  Outcome Run(const std::string &families, long at, const std::string &error) {
    const Scenario &scenario = GetParam();
    TempDir dir, logs;
    for (const auto &[name, content] : scenario.files) dir.WriteFile(name, Content(content));
    Outcome outcome;
    outcome.before = ydr::test::TakeTree(dir.path());
    std::vector<std::string> argv = ydr::test::Words(scenario.command);
    argv.insert(argv.begin(), YDR_TOOL);
    // gcc's sanitizer runtime wants to be loaded first; the interposer goes first on purpose.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const std::string shim = families == "alloc" ? "/libydr_alloc_fault_shim.so" : "/libydr_fault_shim.so";
    const std::vector<std::string> env = {
        "LD_PRELOAD=" + std::string(YDR_FAULT_SHIM_FOLDER) + shim,
        "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0",
        "YDR_FAULT_CALLS=" + families,
        "YDR_FAULT_AT=" + std::to_string(at),
        "YDR_FAULT_ERROR=" + error,
        "YDR_FAULT_LOG=" + (logs / "log")};
    outcome.result = ydr::test::RunProcess(argv, env, "", dir.path());
    outcome.after = ydr::test::TakeTree(dir.path());
    std::ifstream log(logs / "log");
    for (std::string word, side; log >> word;) {
      if (word == "calls") log >> outcome.calls;
      if (word == "fault") outcome.injected = static_cast<bool>(log >> outcome.call >> side);
      outcome.write_side = outcome.write_side || side == "write-side";
    }
    // A partial archive that a failed run leaves, recording what it could not read, is no departure.
    if (!scenario.partial.empty() && outcome.after.count(scenario.partial) != 0 &&
        ydr::test::Ydr({"list", "-v", dir / scenario.partial}).out.find("not-packed") != std::string::npos &&
        outcome.result.exit_status == 1) {
      outcome.after.erase(scenario.partial);
    }
    return outcome;
  }

  // Fails each counted call of `families` with `error`, one run each, then one past the last.
  void Sweep(const std::string &families, const std::string &error) {
    const Scenario &scenario = GetParam();
    const Outcome complete = Run(families, 0, error);
    ASSERT_EQ(complete.result.exit_status, 0) << complete.result.err;
    ASSERT_GT(complete.calls, 0) << "the interposer counted nothing: is it loaded?";
    const bool kill = error == "KILL", retried = error == "EINTR" || error == "SHORT";
    // What a killed run may leave: "<name>.ydr-XXXXXX", or "<name>.<12 hex digits>.part".
    const std::regex temporary(R"(.*(\.ydr-[A-Za-z0-9]{6}|\.[0-9a-f]{12}\.part)$)");
    for (long at = 1; at <= complete.calls; ++at) {
      const Outcome outcome = Run(families, at, error);
      const ProcessResult &result = outcome.result;
      SCOPED_TRACE("call " + std::to_string(at) + " failed with " + error + ": " +
                   (outcome.injected ? outcome.call : "no fault") + "\nstderr: " + result.err);
      EXPECT_EQ(result.exit_status == -1, kill) << "a killed run ends by the signal, no other run does";
      for (const auto &problem :
           ydr::test::Departures(outcome.before, complete.after, outcome.after,
                                 [&](const std::string &path) { return kill && std::regex_match(path, temporary); })) {
        ADD_FAILURE() << problem;
      }
      if (kill || !outcome.injected) continue;
      const bool transfer = outcome.call == "read" || outcome.call == "pread" || outcome.call == "write";
      EXPECT_TRUE(!retried || !transfer || result.exit_status == 0) << "an interrupted or short transfer is retried";
      EXPECT_TRUE(retried || !outcome.write_side || families == "alloc" || result.exit_status != 0)
          << "a failure on the writing side passed unreported";
      if (result.exit_status == 0) {
        EXPECT_EQ(outcome.after, complete.after) << "a successful run leaves exactly what a complete run leaves";
        EXPECT_EQ(result.out, complete.result.out);
        continue;
      }
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_EQ(result.err.rfind("ydr: ", 0), 0u) << "a failure is said on standard error";
      // Running out of memory is the process's trouble, not a file's.
      const auto named = [&](const std::string &name) { return result.err.find(name) != std::string::npos; };
      EXPECT_TRUE(families == "alloc" || std::any_of(scenario.names.begin(), scenario.names.end(), named))
          << "the message names no file";
    }
    EXPECT_FALSE(Run(families, complete.calls + 1, error).injected) << "more calls than the complete run counted";
  }
};

// EIO stands for every error a call can give: the command tells none apart (ENOSPC included).
TEST_P(ToolFaultTest, EveryCallFailingWithADiskError) { Sweep("io", "EIO"); }

// Only a transfer is retried; elsewhere EINTR is an error like any other.
TEST_P(ToolFaultTest, EveryTransferInterrupted) { Sweep("read,write", "EINTR"); }

TEST_P(ToolFaultTest, EveryTransferCutShort) { Sweep("read,write", "SHORT"); }

// No output half-written under its real name, no previous output destroyed.
TEST_P(ToolFaultTest, KilledAtAnyCall) { Sweep("io", "KILL"); }

TEST_P(ToolFaultTest, EveryAllocationFailing) {
  if (YDR_SANITIZED) GTEST_SKIP() << "the sanitizers' allocator cannot be replaced from outside";
  Sweep("alloc", "ENOMEM");
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolFaultTest, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

}  // namespace
