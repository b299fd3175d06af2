// SHA-1, SEED and RSA against libcrypto in the same process on the same data.
//   sha1/<who>/<size>        ours (SHA instructions when present), ours-portable, openssl
//   seed-<mode>-<dir>/<who>/<size>   ECB and CBC, encryption and decryption
//   rsa2048-<op>/<who>/call  our one-call exports (key text parsed every call) against
//                            libcrypto doing the same work per call, and on a key parsed once
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "crypto/sha1_blocks.h"
#include "tests/support/openssl_ciphers.h"
#include "tests/support/rsa_key_text.h"
#include "ydr/rsa.h"
#include "ydr/seed.h"
#include "ydr/sha1.h"

namespace {

std::vector<unsigned char> Data(std::size_t n) {
  std::vector<unsigned char> data(n);
  unsigned x = 12345;
  for (unsigned char &b : data) b = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 16);
  return data;
}

void SetBytes(benchmark::State &state, std::size_t n) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// SHA-1 ---------------------------------------------------------------------------------

void BM_Sha1Ours(benchmark::State &state) {
  const auto data = Data(static_cast<std::size_t>(state.range(0)));
  unsigned char digest[20];
  for (auto _ : state) {
    YDR_SHA1_ALG_INFO info;
    YDR_SHA1_Init(&info);
    YDR_SHA1_Update(&info, data.data(), static_cast<unsigned>(data.size()));
    YDR_SHA1_Final(&info, digest);
    benchmark::DoNotOptimize(digest);
  }
  SetBytes(state, data.size());
}

void BM_Sha1Portable(benchmark::State &state) {
  const auto data = Data(static_cast<std::size_t>(state.range(0)));
  unsigned int chain[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  for (auto _ : state) {
    ydr::crypto::Sha1Blocks_generic(chain, data.data(), data.size() / 64);
    benchmark::DoNotOptimize(chain);
  }
  SetBytes(state, data.size());
}

void BM_Sha1OpenSsl(benchmark::State &state) {
  const auto data = Data(static_cast<std::size_t>(state.range(0)));
  EVP_MD *md = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  for (auto _ : state) {
    EVP_Digest(data.data(), data.size(), digest, &n, md, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_free(md);
  SetBytes(state, data.size());
}

// SEED ----------------------------------------------------------------------------------

template <bool encrypt>
void BM_SeedOurs(benchmark::State &state, unsigned mode) {
  const auto data = Data(static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(data.size() + 16);
  const auto key = Data(16);
  YDR_SEED_ALG_INFO info;
  YDR_SEED_SetAlgInfo(mode, YDR_SEED_PAD_NONE, key.data(), &info);
  YDR_SEED_KeySchedule(key.data(), 16, &info);
  for (auto _ : state) {
    unsigned n = 0, m = 0;
    if (encrypt) {
      YDR_SEED_EncInit(&info);
      YDR_SEED_EncUpdate(&info, data.data(), static_cast<unsigned>(data.size()), out.data(), &n);
      YDR_SEED_EncFinal(&info, out.data() + n, &m);
    } else {
      YDR_SEED_DecInit(&info);
      YDR_SEED_DecUpdate(&info, data.data(), static_cast<unsigned>(data.size()), out.data(), &n);
      YDR_SEED_DecFinal(&info, out.data() + n, &m);
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, data.size());
}

template <bool encrypt>
void BM_SeedOpenSsl(benchmark::State &state, const char *name) {
  if (!ydr::test::LoadLegacyProvider()) {
    state.SkipWithError("OpenSSL's legacy provider is not available");
    return;
  }
  const auto data = Data(static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(data.size() + 16);
  const auto key = Data(16);
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int n = 0, m = 0;
    EVP_CipherInit_ex2(ctx, cipher, key.data(), key.data(), encrypt ? 1 : 0, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &m);
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  SetBytes(state, data.size());
}

// RSA -----------------------------------------------------------------------------------

struct RsaKeys {
  RsaKeys() : key(EVP_RSA_gen(2048)) {
    publicText = ydr::test::KeyText(key, i2d_PublicKey);
    privateText = ydr::test::KeyText(key, i2d_PrivateKey);
  }
  ~RsaKeys() { EVP_PKEY_free(key); }
  EVP_PKEY *key;
  std::string publicText, privateText;
};

const RsaKeys &Keys() {
  static const RsaKeys keys;
  return keys;
}

void BM_RsaEncryptOurs(benchmark::State &state) {
  const auto message = Data(32);
  unsigned char out[256];
  for (auto _ : state) {
    if (YDR_RSA_Encrypt_PublicKey(32, message.data(), out, Keys().publicText.c_str()) != 256)
      state.SkipWithError("failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RsaDecryptOurs(benchmark::State &state) {
  const auto message = Data(32);
  unsigned char sealed[256], out[256];
  YDR_RSA_Encrypt_PublicKey(32, message.data(), sealed, Keys().publicText.c_str());
  for (auto _ : state) {
    if (YDR_RSA_Decrypt_PrivateKey(256, sealed, out, Keys().privateText.c_str()) != 32) state.SkipWithError("failed");
  }
  state.SetItemsProcessed(state.iterations());
}

// One PKCS #1 operation by libcrypto on a parsed key, in a context of its own.
void PeerOperation(EVP_PKEY *key, bool encrypt, const std::vector<unsigned char> &message,
                   const unsigned char (&sealed)[256], unsigned char (&out)[256]) {
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
  std::size_t n = sizeof out;
  if (encrypt) {
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_encrypt(ctx, out, &n, message.data(), message.size());
  } else {
    EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_decrypt(ctx, out, &n, sealed, sizeof sealed);
  }
  EVP_PKEY_CTX_free(ctx);
}

// libcrypto on the parsed key; a fresh context per operation, as one-shot callers do.
template <bool encrypt>
void BM_RsaOpenSsl(benchmark::State &state) {
  const auto message = Data(32);
  unsigned char sealed[256], out[256];
  YDR_RSA_Encrypt_PublicKey(32, message.data(), sealed, Keys().publicText.c_str());
  for (auto _ : state) {
    PeerOperation(Keys().key, encrypt, message, sealed, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

// libcrypto doing all the work one of our calls does, with nothing kept between calls:
// decode the Base64 key text, parse the DER key into a fresh key object, make a context,
// operate, free it all.
template <bool encrypt>
void BM_RsaOpenSslPerCall(benchmark::State &state) {
  const auto message = Data(32);
  unsigned char sealed[256], out[256];
  YDR_RSA_Encrypt_PublicKey(32, message.data(), sealed, Keys().publicText.c_str());
  const std::string &text = encrypt ? Keys().publicText : Keys().privateText;
  std::vector<unsigned char> der(text.size());
  for (auto _ : state) {
    const int decoded = EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char *>(text.data()),
                                        static_cast<int>(text.size()));
    const unsigned char *cursor = der.data();
    EVP_PKEY *key = encrypt ? d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, decoded)
                            : d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, decoded);
    PeerOperation(key, encrypt, message, sealed, out);
    EVP_PKEY_free(key);
    OPENSSL_cleanse(der.data(), der.size());  // nothing secret left behind, as our calls do
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_Sha1Ours)->Name("sha1/ours/16KiB")->Arg(16 << 10);
BENCHMARK(BM_Sha1Ours)->Name("sha1/ours/16MiB")->Arg(16 << 20);
BENCHMARK(BM_Sha1Portable)->Name("sha1/ours-portable/16KiB")->Arg(16 << 10);
BENCHMARK(BM_Sha1Portable)->Name("sha1/ours-portable/16MiB")->Arg(16 << 20);
BENCHMARK(BM_Sha1OpenSsl)->Name("sha1/openssl/16KiB")->Arg(16 << 10);
BENCHMARK(BM_Sha1OpenSsl)->Name("sha1/openssl/16MiB")->Arg(16 << 20);

BENCHMARK(BM_RsaEncryptOurs)->Name("rsa2048-encrypt/ours/call");
BENCHMARK(BM_RsaOpenSslPerCall<true>)->Name("rsa2048-encrypt/openssl-same-work/call");
BENCHMARK(BM_RsaOpenSsl<true>)->Name("rsa2048-encrypt/openssl-parsed-key/call");
BENCHMARK(BM_RsaDecryptOurs)->Name("rsa2048-decrypt/ours/call");
BENCHMARK(BM_RsaOpenSslPerCall<false>)->Name("rsa2048-decrypt/openssl-same-work/call");
BENCHMARK(BM_RsaOpenSsl<false>)->Name("rsa2048-decrypt/openssl-parsed-key/call");

int main(int argc, char **argv) {
  Keys();  // generated before anything is timed
  struct SeedMode {
    const char *label;
    unsigned mode;
    const char *peer;
  };
  for (const SeedMode m :
       {SeedMode{"ecb", YDR_SEED_MODE_ECB, "SEED-ECB"}, SeedMode{"cbc", YDR_SEED_MODE_CBC, "SEED-CBC"}}) {
    const std::string work = std::string("seed-") + m.label;
    benchmark::RegisterBenchmark((work + "-enc/ours/1MiB").c_str(), BM_SeedOurs<true>, m.mode)->Arg(1 << 20);
    benchmark::RegisterBenchmark((work + "-enc/openssl/1MiB").c_str(), BM_SeedOpenSsl<true>, m.peer)->Arg(1 << 20);
    benchmark::RegisterBenchmark((work + "-dec/ours/1MiB").c_str(), BM_SeedOurs<false>, m.mode)->Arg(1 << 20);
    benchmark::RegisterBenchmark((work + "-dec/openssl/1MiB").c_str(), BM_SeedOpenSsl<false>, m.peer)->Arg(1 << 20);
  }
  benchmark::Initialize(&argc, argv);
  ydr::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
