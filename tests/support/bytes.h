// Byte strings for the cipher tests: hexadecimal in and out, and random contents.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace ydr::test {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string &hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const Bytes &bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) out += {kDigits[b >> 4], kDigits[b & 15]};
  return out;
}

inline Bytes RandomBytes(std::mt19937 &rng, std::size_t n) {
  Bytes out(n);
  for (unsigned char &b : out) b = static_cast<unsigned char>(rng());
  return out;
}

}  // namespace ydr::test
