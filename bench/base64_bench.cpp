// Base64 decoding of key-sized and bulk text: ours against OpenSSL's EVP_DecodeBlock on the
// same text, in one process. Prints the ratio ours/peer of bytes per second.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/base64.h"
#include "bench/ratio_reporter.h"

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

BENCHMARK(BM_Ours)->Name("decode/ours/256")->Arg(256);
BENCHMARK(BM_Ours)->Name("decode/ours/1MiB")->Arg(1 << 20);
BENCHMARK(BM_OpenSsl)->Name("decode/openssl/256")->Arg(256);
BENCHMARK(BM_OpenSsl)->Name("decode/openssl/1MiB")->Arg(1 << 20);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
