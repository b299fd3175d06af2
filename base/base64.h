// Base64 decoding, apart from the export so that it can be tested and fuzzed with lengths.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ydr::base {

// Decodes text[0..length) into out, which has room for `length` bytes (decoded data is
// never longer than its text). Returns the byte count, or -1 when the text is not Base64.
long DecodeBase64(const char *text, std::size_t length, std::uint8_t *out);

}  // namespace ydr::base
