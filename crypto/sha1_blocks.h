// The SHA-1 compression function over whole 64-byte blocks, in a portable form and in one
// that uses the CPU's SHA instructions. Both give identical chaining values.
#pragma once

#include <cstddef>

namespace ydr::crypto {

using Sha1BlocksFunction = void (*)(unsigned int chain[5], const unsigned char *blocks, std::size_t count);

// The best variant for this CPU, chosen once (YDR_DISABLE_CPU_FEATURES keeps the portable one).
Sha1BlocksFunction Sha1Blocks();

void Sha1Blocks_generic(unsigned int chain[5], const unsigned char *blocks, std::size_t count);
// Null when this CPU lacks the SHA instructions.
Sha1BlocksFunction Sha1Variant_shani();

// Implemented in sha1_shani.cpp; only called when the CPU has the instructions.
void Sha1Blocks_shani(unsigned int chain[5], const unsigned char *blocks, std::size_t count);

}  // namespace ydr::crypto
