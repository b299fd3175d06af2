// CRC-32 of ISO 3309 / ITU-T V.42 (reflected polynomial 0xEDB88320), the check value of
// the stream trailer. These functions run bytes through the register itself: the caller
// presets it to 0xFFFFFFFF and complements the result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::gz {

using Crc32Function = std::uint32_t (*)(std::uint32_t reg, const std::uint8_t *data, std::size_t size);

std::uint32_t Crc32Update(std::uint32_t reg, const std::uint8_t *data, std::size_t size);  // best for this CPU

// The variants, each usable on its own for tests and benchmarks; null when this CPU (or the
// build) lacks what a variant needs.
std::uint32_t Crc32Update_generic(std::uint32_t reg, const std::uint8_t *data, std::size_t size);
Crc32Function Crc32Variant_pclmul();
Crc32Function Crc32Variant_avx512();

// Implemented in crc32_pclmul.cpp / crc32_avx512.cpp; only called when the CPU has them.
std::uint32_t Crc32Update_pclmul(std::uint32_t reg, const std::uint8_t *data, std::size_t size);
std::uint32_t Crc32Update_avx512(std::uint32_t reg, const std::uint8_t *data, std::size_t size);

}  // namespace ydr::gz
