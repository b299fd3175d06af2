// Which optional instructions this CPU offers, read once. Setting YDR_DISABLE_CPU_FEATURES
// (to anything but "" or "0") makes every fast path stand aside for the portable one, so
// that the portable code can be run and tested on any machine.
#pragma once

namespace ydr::portable {

struct CpuFeatures {
  bool pclmul = false;          // carry-less multiply on 128-bit registers, with SSE4.1
  bool vpclmul_avx512 = false;  // carry-less multiply on 512-bit registers (AVX-512)
  bool avx2 = false;
  bool bmi2 = false;
  bool sha = false;          // SHA-1/SHA-256 instructions
  bool aes = false;          // AES instructions
  bool vaes_avx512 = false;  // AES instructions on 512-bit registers (AVX-512)
};

const CpuFeatures &GetCpuFeatures();

// True when YDR_DISABLE_CPU_FEATURES asks for the portable paths only.
bool CpuFeaturesDisabled();

}  // namespace ydr::portable
