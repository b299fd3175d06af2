#include <gtest/gtest.h>

#include "frame/crypto_library.h"
#include "frame/sibling_module.h"

namespace ydr::frame {
namespace {

TEST(CryptoLibraryTest, ResolvesEveryFunctionTheRsaWrappersNeed) {
  CryptoFunctions functions{};
  ASSERT_TRUE(ResolveCryptoFunctions(&functions));
  const void *const *slots = reinterpret_cast<const void *const *>(&functions);
  for (std::size_t i = 0; i < sizeof functions / sizeof(void *); ++i) EXPECT_NE(slots[i], nullptr) << i;

  // The functions are the real ones: a DER key that is not one is refused.
  const unsigned char garbage[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  const unsigned char *p = garbage;
  EXPECT_EQ(functions.d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, sizeof garbage), nullptr);
  functions.ERR_clear_error();
  UnloadSiblingModules();
}

}  // namespace
}  // namespace ydr::frame
