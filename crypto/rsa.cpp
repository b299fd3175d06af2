// The RSA exports: Base64 key text -> DER -> libcrypto key object -> one EVP operation with
// PKCS #1 v1.5 padding -> everything released. libcrypto is reached through the functions
// the library frame resolved, so it is loaded only when RSA is first used.
#include <cstring>
#include <memory>
#include <new>

#include "imports/base_services.h"
#include "imports/crypto_library.h"
#include "platform/process.h"
#include "ydr/rsa.h"

namespace ydr::crypto::rsa {
namespace {

using imports::crypto::EVP_PKEY;
using imports::crypto::EVP_PKEY_CTX;
using imports::crypto::OSSL_PARAM;
using imports::crypto::RSA;

enum class Operation { kPublicEncrypt, kPublicRecover, kPrivateSign, kPrivateDecrypt };

bool UsesPrivateKey(Operation op) { return op == Operation::kPrivateSign || op == Operation::kPrivateDecrypt; }
bool Decrypts(Operation op) { return op == Operation::kPublicRecover || op == Operation::kPrivateDecrypt; }

// The decoded key bytes; wiped before they are released since they may hold a private key.
class KeyBytes {
 public:
  explicit KeyBytes(std::size_t size) : bytes_(new (std::nothrow) unsigned char[size == 0 ? 1 : size]), size_(size) {}
  ~KeyBytes() {
    if (bytes_ != nullptr) ydr::platform::Wipe(bytes_.get(), size_);
  }
  KeyBytes(const KeyBytes &) = delete;
  KeyBytes &operator=(const KeyBytes &) = delete;
  unsigned char *get() const { return bytes_.get(); }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  std::size_t size_;
};

// Since OpenSSL 3.2, PKCS #1 v1.5 decryption with bad padding (a wrong key, a damaged
// block) returns made-up bytes instead of failing, a defence for servers that must not
// reveal padding errors. Our callers need the failure. Older libcrypto versions do not know
// the setting and ignore it, which is just as good.
void TurnOffImplicitRejection(const imports::CryptoFunctions &f, EVP_PKEY_CTX *context) {
  unsigned int off = 0;
  char name[] = "implicit-rejection";
  const OSSL_PARAM params[2] = {
      {name, imports::crypto::kParamUnsignedInteger, &off, sizeof off, imports::crypto::kParamUnmodified},
      {nullptr, 0, nullptr, 0, 0}};
  f.EVP_PKEY_CTX_set_params(context, params);
}

// One operation with a parsed key; the context is released on every path.
unsigned int Operate(const imports::CryptoFunctions &f, Operation op, EVP_PKEY *key, unsigned int length,
                     const unsigned char *input, unsigned char *output) {
  if (f.EVP_PKEY_get_base_id(key) != imports::crypto::kKeyTypeRsa) return YDR_RSA_FAILED;
  const int modulus = f.EVP_PKEY_get_size(key);
  if (modulus <= 11) return YDR_RSA_FAILED;
  // PKCS #1 v1.5 needs 11 bytes of padding. A ciphertext or signature is at most one block:
  // a shorter one is a block whose leading zero bytes a host has stripped, which libcrypto
  // reads as the same number, so it goes to libcrypto as it is.
  if (length > static_cast<unsigned int>(modulus) - (Decrypts(op) ? 0 : 11)) return YDR_RSA_FAILED;
  std::unique_ptr<EVP_PKEY_CTX, decltype(f.EVP_PKEY_CTX_free)> context(f.EVP_PKEY_CTX_new(key, nullptr),
                                                                       f.EVP_PKEY_CTX_free);
  if (context == nullptr) return YDR_RSA_FAILED;
  EVP_PKEY_CTX *c = context.get();
  int ok = 0;
  switch (op) {
    case Operation::kPublicEncrypt: ok = f.EVP_PKEY_encrypt_init(c); break;
    case Operation::kPublicRecover: ok = f.EVP_PKEY_verify_recover_init(c); break;
    case Operation::kPrivateSign: ok = f.EVP_PKEY_sign_init(c); break;
    case Operation::kPrivateDecrypt: ok = f.EVP_PKEY_decrypt_init(c); break;
  }
  if (ok <= 0 || f.EVP_PKEY_CTX_set_rsa_padding(c, imports::crypto::kPkcs1Padding) <= 0) return YDR_RSA_FAILED;
  if (op == Operation::kPrivateDecrypt) TurnOffImplicitRejection(f, c);
  std::size_t written = static_cast<std::size_t>(modulus);
  switch (op) {
    case Operation::kPublicEncrypt: ok = f.EVP_PKEY_encrypt(c, output, &written, input, length); break;
    case Operation::kPublicRecover: ok = f.EVP_PKEY_verify_recover(c, output, &written, input, length); break;
    case Operation::kPrivateSign: ok = f.EVP_PKEY_sign(c, output, &written, input, length); break;
    case Operation::kPrivateDecrypt: ok = f.EVP_PKEY_decrypt(c, output, &written, input, length); break;
  }
  if (ok <= 0 || written > static_cast<std::size_t>(modulus)) return YDR_RSA_FAILED;
  return static_cast<unsigned int>(written);
}

// The key object for DER key bytes. The PKCS #1 structure is read directly first; anything
// else (or a key that reading refuses) goes through libcrypto's general key decoding, which
// accepts exactly what it always did.
EVP_PKEY *ReadKey(const imports::CryptoFunctions &f, bool is_private, const unsigned char *der, int n) {
  const unsigned char *cursor = der;
  RSA *rsa = is_private ? f.d2i_RSAPrivateKey(nullptr, &cursor, n) : f.d2i_RSAPublicKey(nullptr, &cursor, n);
  if (rsa != nullptr) {
    EVP_PKEY *key = f.EVP_PKEY_new();
    if (key != nullptr && f.EVP_PKEY_assign(key, imports::crypto::kKeyTypeRsa, rsa) > 0)
      return key;  // the key owns rsa now
    f.RSA_free(rsa);
    if (key != nullptr) f.EVP_PKEY_free(key);
  }
  f.ERR_clear_error();
  cursor = der;
  return is_private ? f.d2i_PrivateKey(imports::crypto::kKeyTypeRsa, nullptr, &cursor, n)
                    : f.d2i_PublicKey(imports::crypto::kKeyTypeRsa, nullptr, &cursor, n);
}

unsigned int Run(Operation op, unsigned int length, const unsigned char *input, unsigned char *output,
                 const char *keyText) {
  if (keyText == nullptr || output == nullptr || (input == nullptr && length != 0)) return YDR_RSA_FAILED;
  imports::CryptoFunctions f{};
  if (!imports::ResolveCryptoFunctions(&f)) return YDR_RSA_FAILED;

  KeyBytes der(std::strlen(keyText));
  if (der.get() == nullptr) return YDR_RSA_FAILED;
  unsigned char *buffer = der.get();
  const int n = bl::YdrBase64ToAscii(keyText, &buffer);
  if (n <= 0) return YDR_RSA_FAILED;

  EVP_PKEY *key = ReadKey(f, UsesPrivateKey(op), der.get(), n);
  const unsigned int result = key != nullptr ? Operate(f, op, key, length, input, output) : YDR_RSA_FAILED;
  if (key != nullptr) f.EVP_PKEY_free(key);
  // A failure leaves nothing in this thread's libcrypto error queue for the caller to trip over.
  if (result == YDR_RSA_FAILED) f.ERR_clear_error();
  return result;
}

}  // namespace
}  // namespace ydr::crypto::rsa

using ydr::crypto::rsa::Operation;

extern "C" YDR_API unsigned int YDR_RSA_Encrypt_PublicKey(unsigned int length, const unsigned char *input,
                                                          unsigned char *output, const char *keyText) {
  return ydr::crypto::rsa::Run(Operation::kPublicEncrypt, length, input, output, keyText);
}

extern "C" YDR_API unsigned int YDR_RSA_Decrypt_PublicKey(unsigned int length, const unsigned char *input,
                                                          unsigned char *output, const char *keyText) {
  return ydr::crypto::rsa::Run(Operation::kPublicRecover, length, input, output, keyText);
}

extern "C" YDR_API unsigned int YDR_RSA_Encrypt_PrivateKey(unsigned int length, const unsigned char *input,
                                                           unsigned char *output, const char *keyText) {
  return ydr::crypto::rsa::Run(Operation::kPrivateSign, length, input, output, keyText);
}

extern "C" YDR_API unsigned int YDR_RSA_Decrypt_PrivateKey(unsigned int length, const unsigned char *input,
                                                           unsigned char *output, const char *keyText) {
  return ydr::crypto::rsa::Run(Operation::kPrivateDecrypt, length, input, output, keyText);
}
