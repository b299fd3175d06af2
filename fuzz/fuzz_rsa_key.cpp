// Key text for the RSA exports. The first byte chooses how the rest is used: as the text
// itself, or as DER bytes that are Base64-encoded first (so that the key parser, not only
// the Base64 decoder, sees arbitrary input). Every export must return, and write no more than
// the modulus, which cannot be longer than the DER that carries it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_workspace.h"
#include "ydr/rsa.h"

namespace {

std::string Base64(const std::uint8_t *data, std::size_t size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t n = std::uint32_t{data[i]} << 16 | (i + 1 < size ? std::uint32_t{data[i + 1]} << 8 : 0) |
                            (i + 2 < size ? data[i + 2] : 0);
    text += kAlphabet[n >> 18];
    text += kAlphabet[(n >> 12) & 63];
    text += i + 1 < size ? kAlphabet[(n >> 6) & 63] : '=';
    text += i + 2 < size ? kAlphabet[n & 63] : '=';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  ydr::fuzz::Workspace("rsa");
  if (size < 2 || size > 4096) return 0;
  const std::string text =
      (data[0] & 1) != 0 ? Base64(data + 1, size - 1) : std::string(reinterpret_cast<const char *>(data + 1), size - 1);
  const std::size_t capacity = size + 16;
  std::vector<unsigned char> input(capacity, 0x5A), output(capacity + 1, 0xEE);
  using Export = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);
  const Export exports[] = {YDR_RSA_Encrypt_PublicKey, YDR_RSA_Decrypt_PublicKey, YDR_RSA_Encrypt_PrivateKey,
                            YDR_RSA_Decrypt_PrivateKey};
  // Lengths that fit a common modulus, so that some calls get past the length checks.
  const unsigned lengths[] = {16, 64, 128, 256};
  for (const Export f : exports) {
    const unsigned length = lengths[(data[0] >> 1) & 3];
    if (length > capacity) continue;
    const unsigned result = f(length, input.data(), output.data(), text.c_str());
    if (result != YDR_RSA_FAILED && result > capacity) std::abort();
    if (output[capacity] != 0xEE) std::abort();
  }
  return 0;
}
