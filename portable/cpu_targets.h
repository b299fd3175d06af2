// Functions compiled for instructions beyond the build's baseline, each called only after
// GetCpuFeatures() has said the CPU has them; and forced inlining, which lets such a
// function take in the generic code around its fast instructions.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define YDR_X86_TARGETS 1
#define YDR_AVX2_TARGET __attribute__((target("avx2")))
#define YDR_BMI2_TARGET __attribute__((target("bmi,bmi2")))
#endif

#if defined(__GNUC__) || defined(__clang__)
#define YDR_ALWAYS_INLINE __attribute__((always_inline)) inline
#define YDR_ALWAYS_INLINE_LAMBDA __attribute__((always_inline))
#else
#define YDR_ALWAYS_INLINE inline
#define YDR_ALWAYS_INLINE_LAMBDA
#endif
