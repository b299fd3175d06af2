// Document encryption against libcrypto in one process, on the same 1 MiB buffer:
//   venlvo-ecb-enc|dec   VENLVO objects (AES-128 ECB) against EVP aes-128-ecb keyed once,
//                        and re-keyed for every 16 bytes as a unit-by-unit caller would;
//   ven4-cfb1-enc|dec    kind 4 objects (AES-128 CFB-1) against EVP aes-128-cfb1 (64 KiB);
//   ven1-des-enc|dec     kind 1 objects (DES) against EVP des-ecb (legacy provider).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "ydr/ven.h"

namespace {

const unsigned short kPassword[] = {'b', 'e', 'n', 'c', 'h', 'm', 'a', 'r', 'k', '!', 0};
const unsigned char kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<unsigned char> Data(std::size_t n) {
  std::vector<unsigned char> data(n);
  for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
  return data;
}

void BM_Lvo(benchmark::State &state, bool write) {
  auto data = Data(static_cast<std::size_t>(state.range(0)));
  HVENLVO lvo = VENLVOCreate(kPassword, 0);
  for (auto _ : state) {
    write ? VENLVOWriteBlock(lvo, data.data(), static_cast<int>(data.size()))
          : VENLVOReadBlock(lvo, data.data(), static_cast<int>(data.size()));
    benchmark::DoNotOptimize(data.data());
  }
  VENLVORelease(lvo);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Ven(benchmark::State &state, unsigned kind, bool write) {
  auto data = Data(static_cast<std::size_t>(state.range(0)));
  HVEN ven = VENCreate(kPassword, kind);
  for (auto _ : state) {
    write ? VENWriteBlock(ven, data.data(), static_cast<int>(data.size()))
          : VENReadBlock(ven, data.data(), static_cast<int>(data.size()));
    benchmark::DoNotOptimize(data.data());
  }
  VENRelease(ven);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// libcrypto; `unit` > 0 re-keys the context for every `unit` bytes.
void BM_OpenSsl(benchmark::State &state, const char *name, bool encrypt, std::size_t unit) {
  static const bool providers = OSSL_PROVIDER_load(nullptr, "legacy") && OSSL_PROVIDER_load(nullptr, "default");
  if (!providers) {
    state.SkipWithError("OpenSSL's legacy provider is not available");
    return;
  }
  auto data = Data(static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(data.size() + 32);
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  const unsigned char iv[16] = {};
  for (auto _ : state) {
    int n = 0;
    if (unit == 0) {
      EVP_CipherInit_ex2(ctx, cipher, kKey, iv, encrypt ? 1 : 0, nullptr);
      EVP_CIPHER_CTX_set_padding(ctx, 0);
      EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    } else {
      for (std::size_t at = 0; at < data.size(); at += unit) {
        EVP_CipherInit_ex2(ctx, cipher, kKey, iv, encrypt ? 1 : 0, nullptr);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EVP_CipherUpdate(ctx, out.data() + at, &n, data.data() + at, static_cast<int>(unit));
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char **argv) {
  const int mib = 1 << 20, cfb = 64 << 10;
  for (bool write : {true, false}) {
    const std::string dir = write ? "enc" : "dec";
    benchmark::RegisterBenchmark(("venlvo-ecb-" + dir + "/ours/1MiB").c_str(), BM_Lvo, write)->Arg(mib);
    benchmark::RegisterBenchmark(("venlvo-ecb-" + dir + "/openssl-keyed-once/1MiB").c_str(), BM_OpenSsl, "AES-128-ECB",
                                 write, 0)
        ->Arg(mib);
    benchmark::RegisterBenchmark(("venlvo-ecb-" + dir + "/openssl-rekeyed-per-16B/1MiB").c_str(), BM_OpenSsl,
                                 "AES-128-ECB", write, 16)
        ->Arg(mib);
    benchmark::RegisterBenchmark(("ven4-cfb1-" + dir + "/ours/64KiB").c_str(), BM_Ven, 4u, write)->Arg(cfb);
    benchmark::RegisterBenchmark(("ven4-cfb1-" + dir + "/openssl/64KiB").c_str(), BM_OpenSsl, "AES-128-CFB1", write, 0)
        ->Arg(cfb);
    benchmark::RegisterBenchmark(("ven1-des-" + dir + "/ours/1MiB").c_str(), BM_Ven, 1u, write)->Arg(mib);
    benchmark::RegisterBenchmark(("ven1-des-" + dir + "/openssl/1MiB").c_str(), BM_OpenSsl, "DES-ECB", write, 0)
        ->Arg(mib);
  }
  benchmark::Initialize(&argc, argv);
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
