// The CRC-32 export, and the choice of variant for this CPU (made once).
#include "gz/crc32.h"

#include "portable/cpu_features.h"
#include "ydr/gz.h"

namespace ydr::gz {

Crc32Function Crc32Variant_pclmul() { return portable::GetCpuFeatures().pclmul ? &Crc32Update_pclmul : nullptr; }

Crc32Function Crc32Variant_avx512() {
  return portable::GetCpuFeatures().vpclmul_avx512 ? &Crc32Update_avx512 : nullptr;
}

namespace {

Crc32Function Choose() {
  if (Crc32Function f = Crc32Variant_avx512()) return f;
  if (Crc32Function f = Crc32Variant_pclmul()) return f;
  return &Crc32Update_generic;
}

}  // namespace

std::uint32_t Crc32Update(std::uint32_t reg, const std::uint8_t *data, std::size_t size) {
  static const Crc32Function best = Choose();
  return best(reg, data, size);
}

}  // namespace ydr::gz

extern "C" YDR_API unsigned int YdrGZUpdateCRC(unsigned int *crc, const void *data, unsigned int count) {
  if (crc == nullptr) return 0;
  if (data == nullptr) {
    *crc = 0xFFFFFFFFu;
    return 0;
  }
  *crc = ydr::gz::Crc32Update(*crc, static_cast<const std::uint8_t *>(data), count);
  return ~*crc;
}
