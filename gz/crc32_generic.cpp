// The portable CRC-32: eight table lookups per eight bytes ("slicing by eight").
#include <array>
#include <cstring>

#include "gz/crc32.h"
#include "portable/byte_order.h"

namespace ydr::gz {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t i = 0; i < 256; ++i) {
    for (std::size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u, "the standard first table entry");

}  // namespace

std::uint32_t Crc32Update_generic(std::uint32_t reg, const std::uint8_t *data, std::size_t size) {
  while (size >= 8) {
    const std::uint32_t low = portable::LoadLittleEndian32(data) ^ reg, high = portable::LoadLittleEndian32(data + 4);
    reg = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) reg = (reg >> 8) ^ kTables[0][(reg ^ *data++) & 0xFF];
  return reg;
}

}  // namespace ydr::gz
