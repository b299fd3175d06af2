// Base64 with the standard alphabet (A-Z a-z 0-9 + /). Key text arrives as the suite's
// callers saved it, so blanks and line breaks between characters are skipped and the '='
// padding may be left off; anything else outside the alphabet, padding followed by more
// data, more than two '=', or a single character left over in the last group (six bits,
// less than a byte) makes the whole text invalid.
#include "base/base64.h"

#include <array>
#include <cstring>

#include "base/ydr_base.h"

namespace ydr::base {
namespace {

constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kSkip = 0xFE;
constexpr std::uint8_t kPad = 0xFD;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto &value : table) value = kInvalid;
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
  table[' '] = table['\t'] = table['\r'] = table['\n'] = kSkip;
  table['='] = kPad;
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = MakeDecodeTable();

// The same values pre-shifted into their place in a 24-bit group, one table per position
// of a character in its group; anything outside the alphabet sets the top byte, so one
// test on four OR-ed lookups tells whether a whole group is plain data.
constexpr std::uint32_t kNotData = 0xFF000000u;
struct ShiftedTables {
  std::uint32_t position[4][256];
};

constexpr ShiftedTables MakeShiftedTables() {
  ShiftedTables tables{};
  for (int pos = 0; pos < 4; ++pos) {
    for (int c = 0; c < 256; ++c) {
      const std::uint8_t value = kDecode[static_cast<std::size_t>(c)];
      tables.position[pos][c] = value < 64 ? static_cast<std::uint32_t>(value) << (18 - 6 * pos) : kNotData;
    }
  }
  return tables;
}

constexpr ShiftedTables kShifted = MakeShiftedTables();

// Decodes whole groups of four plain characters while they last; returns how many
// characters it consumed (a multiple of four).
std::size_t DecodeGroups(const unsigned char *text, std::size_t length, std::uint8_t *out, long *written) {
  std::size_t i = 0;
  long n = *written;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t group = kShifted.position[0][text[i]] | kShifted.position[1][text[i + 1]] |
                                kShifted.position[2][text[i + 2]] | kShifted.position[3][text[i + 3]];
    if (group & kNotData) break;
    out[n] = static_cast<std::uint8_t>(group >> 16);
    out[n + 1] = static_cast<std::uint8_t>(group >> 8);
    out[n + 2] = static_cast<std::uint8_t>(group);
    n += 3;
  }
  *written = n;
  return i;
}

}  // namespace

long DecodeBase64(const char *text, std::size_t length, std::uint8_t *out) {
  std::uint32_t group = 0;  // bits of the current 4-character group
  int held = 0;             // characters in it
  int padding = 0;
  long written = 0;
  const auto *bytes = reinterpret_cast<const unsigned char *>(text);
  for (std::size_t i = 0; i < length; ++i) {
    if (held == 0 && padding == 0) {
      i += DecodeGroups(bytes + i, length - i, out, &written);
      if (i == length) break;
    }
    const std::uint8_t value = kDecode[bytes[i]];
    if (value == kSkip) continue;
    if (value == kInvalid) return -1;
    if (value == kPad) {
      if (held < 2 || held + padding >= 4) return -1;
      ++padding;
      continue;
    }
    if (padding > 0) return -1;  // data after the padding
    group = (group << 6) | value;
    if (++held == 4) {
      out[written++] = static_cast<std::uint8_t>(group >> 16);
      out[written++] = static_cast<std::uint8_t>(group >> 8);
      out[written++] = static_cast<std::uint8_t>(group);
      group = 0;
      held = 0;
    }
  }
  if (held == 1) return -1;
  if (padding > 0 && held + padding != 4) return -1;
  if (held == 2) {
    out[written++] = static_cast<std::uint8_t>(group >> 4);
  } else if (held == 3) {
    out[written++] = static_cast<std::uint8_t>(group >> 10);
    out[written++] = static_cast<std::uint8_t>(group >> 2);
  }
  return written;
}

}  // namespace ydr::base

YDR_BL_API int YdrBase64ToAscii(const char *text, unsigned char **buffer) {
  if (text == nullptr || buffer == nullptr || *buffer == nullptr) return -1;
  const std::size_t length = std::strlen(text);
  if (length > 0x7FFFFFFF) return -1;
  return static_cast<int>(ydr::base::DecodeBase64(text, length, *buffer));
}
