#include "imports/crypto_library.h"

#include "imports/sibling_module.h"

namespace ydr::imports {
namespace {

// In the order of the members of CryptoFunctions.
constexpr const char *kFunctionNames[] = {
    "d2i_PublicKey",
    "d2i_PrivateKey",
    "EVP_PKEY_get_base_id",
    "EVP_PKEY_get_size",
    "EVP_PKEY_free",
    "EVP_PKEY_CTX_new",
    "EVP_PKEY_CTX_free",
    "EVP_PKEY_CTX_set_rsa_padding",
    "EVP_PKEY_encrypt_init",
    "EVP_PKEY_encrypt",
    "EVP_PKEY_decrypt_init",
    "EVP_PKEY_decrypt",
    "EVP_PKEY_sign_init",
    "EVP_PKEY_sign",
    "EVP_PKEY_verify_recover_init",
    "EVP_PKEY_verify_recover",
    "ERR_clear_error",
    "EVP_PKEY_CTX_set_params",
    "d2i_RSAPublicKey",
    "d2i_RSAPrivateKey",
    "RSA_free",
    "EVP_PKEY_new",
    "EVP_PKEY_assign",
};
constexpr std::size_t kFunctionCount = sizeof kFunctionNames / sizeof kFunctionNames[0];
static_assert(sizeof(CryptoFunctions) == kFunctionCount * sizeof(void *), "one name per function");
static_assert(kFunctionCount <= SiblingModule::kMaxFunctions, "sibling table too small");

SiblingModule g_crypto(kCryptoModuleName, kFunctionNames, kFunctionCount);

}  // namespace

bool ResolveCryptoFunctions(CryptoFunctions *functions) {
  void *addresses[kFunctionCount];
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    addresses[i] = g_crypto.Function(i);
    if (addresses[i] == nullptr) return false;
  }
  std::memcpy(functions, addresses, sizeof addresses);
  return true;
}

}  // namespace ydr::imports
