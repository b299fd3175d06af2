// Base64 decoding of key-sized and bulk text: ours against OpenSSL's EVP_DecodeBlock on the
// same text, in one process. Prints the ratio ours/peer of bytes per second.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/base64.h"

namespace {

std::string Encoded(std::size_t bytes) {
  std::mt19937 rng(1951);
  std::vector<unsigned char> data(bytes);
  for (auto &b : data) b = static_cast<unsigned char>(rng());
  std::string text(4 * ((bytes + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(text.data()), data.data(), static_cast<int>(bytes));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// Bytes of decoded data per second.
void Record(benchmark::State &state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Ours(benchmark::State &state) {
  const std::string text = Encoded(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> out(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(ydr::base::DecodeBase64(text.data(), text.size(), out.data()));
    benchmark::ClobberMemory();
  }
  Record(state);
}

void BM_OpenSsl(benchmark::State &state) {
  const std::string text = Encoded(static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char *>(text.data()),
                                             static_cast<int>(text.size())));
    benchmark::ClobberMemory();
  }
  Record(state);
}

BENCHMARK(BM_Ours)->Arg(256)->Arg(1 << 20);
BENCHMARK(BM_OpenSsl)->Arg(256)->Arg(1 << 20);

// Prints the usual table, then the ratio of ours to the peer for each size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const auto slash = name.find('/');
      rates_[name.substr(slash + 1)][name.substr(0, slash)] = rate->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto &[size, by_who] : rates_) {
      const auto ours = by_who.find("BM_Ours"), peer = by_who.find("BM_OpenSsl");
      if (ours == by_who.end() || peer == by_who.end()) continue;
      std::printf("base64 decode %8s bytes: ours %.0f MB/s, OpenSSL %.0f MB/s, ratio ours/peer %.2f\n", size.c_str(),
                  ours->second / 1e6, peer->second / 1e6, ours->second / peer->second);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
