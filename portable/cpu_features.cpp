#include "portable/cpu_features.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace ydr::portable {

bool CpuFeaturesDisabled() {
  const char *value = std::getenv("YDR_DISABLE_CPU_FEATURES");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
struct CpuidRegisters {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegisters Cpuid(unsigned leaf, unsigned subleaf) {
  CpuidRegisters r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

// Which register states the operating system saves (XCR0).
unsigned long long EnabledStates() {
  unsigned eax, edx;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<unsigned long long>(edx) << 32) | eax;
}
#endif

CpuFeatures Detect() {
  CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
  if (CpuFeaturesDisabled()) return features;
  if (Cpuid(0, 0).eax < 7) return features;
  const CpuidRegisters leaf1 = Cpuid(1, 0);
  const CpuidRegisters leaf7 = Cpuid(7, 0);
  const bool osxsave = (leaf1.ecx >> 27) & 1;
  const unsigned long long states = osxsave ? EnabledStates() : 0;
  const bool avx_state = (states & 0x6) == 0x6;       // SSE and AVX registers
  const bool avx512_state = (states & 0xE6) == 0xE6;  // and the AVX-512 ones
  const bool sse41 = (leaf1.ecx >> 19) & 1;
  features.pclmul = sse41 && ((leaf1.ecx >> 1) & 1);
  features.aes = sse41 && ((leaf1.ecx >> 25) & 1);
  features.avx2 = avx_state && ((leaf7.ebx >> 5) & 1);
  features.bmi2 = (leaf7.ebx >> 8) & 1;
  features.sha = sse41 && ((leaf7.ebx >> 29) & 1);
  const bool avx512 = avx512_state && ((leaf7.ebx >> 16) & 1) && ((leaf7.ebx >> 30) & 1) && ((leaf7.ebx >> 31) & 1);
  features.vpclmul_avx512 = features.pclmul && avx512 && ((leaf7.ecx >> 10) & 1);
  features.vaes_avx512 = features.aes && avx512 && ((leaf7.ecx >> 9) & 1);
#endif
  return features;
}

}  // namespace

const CpuFeatures &GetCpuFeatures() {
  static const CpuFeatures features = Detect();
  return features;
}

}  // namespace ydr::portable
