// Packing and unpacking a folder tree and large single files: the archive container in
// process, against `zip -3 -r` / `unzip` and `tar -cf - | gzip -3` / `gzip -d | tar -x`
// run as commands on the same data in the same run. MB/s of input data.
//
// Data: the corpus folder (YDR_CORPUS, default /tmp/ydr-corpus): mixed_small/ and the
// large files text_c.bin and elf.bin.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "portable/utf16.h"
#include "ydr/zip.h"

namespace {

namespace fs = std::filesystem;

std::string Corpus() {
  const char *dir = std::getenv("YDR_CORPUS");
  return dir != nullptr ? dir : "/tmp/ydr-corpus";
}

YdrWString Wide(const std::string &s) {
  const ydr::portable::WString w = ydr::portable::WideFromUtf8(s);
  return YdrWString(w.begin(), w.end());
}

std::uintmax_t TreeBytes(const fs::path &p) {
  if (fs::is_regular_file(p)) return fs::file_size(p);
  std::uintmax_t total = 0;
  for (const auto &e : fs::recursive_directory_iterator(p)) {
    if (e.is_regular_file()) total += e.file_size();
  }
  return total;
}

fs::path Scratch() {
  static const fs::path dir = fs::temp_directory_path() / "ydr-zip-bench";
  fs::create_directories(dir);
  return dir;
}

// `what` is the name in the corpus folder ("mixed_small" packs its tree).
std::string Target(const std::string &what) { return what == "mixed_small" ? what + "/" : what; }

double Time(const std::function<void()> &work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Run(benchmark::State &state, const std::string &what, const std::function<void()> &work) {
  fs::current_path(Corpus());
  for (auto _ : state) state.SetIterationTime(Time(work));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TreeBytes(Corpus() + "/" + what)));
}

// The unpacking benchmarks read what the packing ones wrote: run alone (a filter), they
// would measure nothing, so they say so instead.
bool HaveArchive(benchmark::State &state, const std::string &archive) {
  if (fs::exists(archive)) return true;
  state.SkipWithError(("no " + archive + ": the pack benchmark of the same data makes it").c_str());
  return false;
}

void Shell(const std::string &command) {
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
}

void Register(const std::string &what) {
  // Without its data a benchmark would measure nothing: a missing corpus stops the program.
  if (!fs::exists(Corpus() + "/" + what)) {
    std::fprintf(stderr, "zip_bench: no %s/%s (scripts/make_corpus.sh makes the corpus)\n", Corpus().c_str(),
                 what.c_str());
    std::exit(1);
  }
  const std::string archive = (Scratch() / (what + ".ydz")).string();
  const std::string zip_file = (Scratch() / (what + ".zip")).string();
  const std::string tgz = (Scratch() / (what + ".tar.gz")).string();
  const std::string out = (Scratch() / "out").string();
  benchmark::RegisterBenchmark(("pack/ours/" + what).c_str(),
                               [=](benchmark::State &s) {
                                 Run(s, what, [&] {
                                   fs::remove(archive);
                                   CYdrZIP zip;
                                   std::vector<YdrWString> paths = {Wide(Target(what))};
                                   zip.CompressZIP(paths, Wide(archive).c_str());
                                 });
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark(("pack/zip-3/" + what).c_str(),
                               [=](benchmark::State &s) {
                                 Run(s, what,
                                     [&] { Shell("rm -f " + zip_file + " && zip -q -3 -r " + zip_file + " " + what); });
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark(
      ("pack/tar-gzip-3/" + what).c_str(),
      [=](benchmark::State &s) { Run(s, what, [&] { Shell("tar -cf - " + what + " | gzip -3 > " + tgz); }); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark(("unpack/ours/" + what).c_str(),
                               [=](benchmark::State &s) {
                                 if (!HaveArchive(s, archive)) return;
                                 Run(s, what, [&] {
                                   fs::remove_all(out);
                                   CYdrZIP zip;
                                   if (zip.DecompressZIP(Wide(archive).c_str(), Wide(out).c_str(), 0) != 1) {
                                     std::fprintf(stderr, "failed: unpacking %s\n", archive.c_str());
                                   }
                                 });
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark(("unpack/unzip/" + what).c_str(),
                               [=](benchmark::State &s) {
                                 if (!HaveArchive(s, zip_file)) return;
                                 Run(s, what,
                                     [&] { Shell("rm -rf " + out + " && unzip -q " + zip_file + " -d " + out); });
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark(
      ("unpack/tar-gzip/" + what).c_str(),
      [=](benchmark::State &s) {
        if (!HaveArchive(s, tgz)) return;
        Run(s, what,
            [&] { Shell("rm -rf " + out + " && mkdir -p " + out + " && gzip -dc " + tgz + " | tar -xf - -C " + out); });
      })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  for (const char *what : {"mixed_small", "text_c.bin", "elf.bin"}) Register(what);
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Scratch(), ignored);
  return 0;
}
