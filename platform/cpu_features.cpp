#include "platform/cpu_features.h"

#include <cstdlib>
#include <cstring>

namespace ydr::platform {

bool CpuFeaturesDisabled() {
  const char *value = std::getenv("YDR_DISABLE_CPU_FEATURES");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

namespace {

CpuFeatures Detect() {
  CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
  if (CpuFeaturesDisabled()) return features;
  __builtin_cpu_init();
  // The compiler's checks include the operating system's support for the wider registers.
  features.pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  features.avx2 = __builtin_cpu_supports("avx2");
  features.bmi2 = __builtin_cpu_supports("bmi2");
  features.vpclmul_avx512 = features.pclmul && __builtin_cpu_supports("vpclmulqdq") &&
                            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                            __builtin_cpu_supports("avx512bw");
  features.sha = __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
  features.aes = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
#endif
  return features;
}

}  // namespace

const CpuFeatures &GetCpuFeatures() {
  static const CpuFeatures features = Detect();
  return features;
}

}  // namespace ydr::platform
