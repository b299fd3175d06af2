// Encrypts or decrypts a file under a password with the document encryption of VEN. The
// password is read from standard input (one line), never from the command line; the data
// goes through in whole units (8 bytes for DES, 16 for AES) and a shorter tail is copied as
// it is, so decryption gives back the file exactly. `ydr ven` writes the same bytes.
//
//   ven_file enc|dec KIND IN OUT < password      KIND: 1, 2, 3 (DES) or 4 (AES-128)
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ydr/utf8.h"
#include "ydr/ven.h"

int main(int argc, char **argv) {
  const bool encrypt = argc == 5 && std::strcmp(argv[1], "enc") == 0;
  const unsigned kind = argc == 5 && std::strlen(argv[2]) == 1 ? static_cast<unsigned>(argv[2][0] - '0') : 0;
  if (argc != 5 || (!encrypt && std::strcmp(argv[1], "dec") != 0) || kind < 1 || kind > 4) {
    std::fprintf(stderr, "usage: %s enc|dec 1|2|3|4 IN OUT < password\n", argv[0]);
    return 2;
  }
  std::string password;
  std::getline(std::cin, password);
  // The key object takes the password as UTF-16; it keeps no pointer to it.
  ydr::Utf16String wide = ydr::Utf16FromUtf8(password);
  HVEN ven = VENCreate(wide.c_str(), kind);
  std::fill(wide.begin(), wide.end(), 0);
  std::fill(password.begin(), password.end(), '\0');
  if (ven == nullptr) {
    std::fprintf(stderr, "ven_file: out of memory\n");
    return 1;
  }

  std::FILE *in = std::fopen(argv[3], "rb");
  std::FILE *out = std::fopen(argv[4], "wb");
  if (in == nullptr || out == nullptr) {
    std::perror("ven_file: cannot open");
    VENRelease(ven);
    return 1;
  }
  // One object is one continuous stream: every chunk goes through it in order. A chunk is a
  // whole number of units (AES objects round a length that is an odd multiple of 8 up to 16,
  // so they are given multiples of 16 only).
  const std::size_t unit = kind == 4 ? 16 : 8;
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t got;
  bool ok = true;
  while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    const int whole = static_cast<int>(got - got % unit);
    encrypt ? VENWriteBlock(ven, buffer.data(), whole) : VENReadBlock(ven, buffer.data(), whole);
    ok = std::fwrite(buffer.data(), 1, got, out) == got;
  }
  VENRelease(ven);  // wipes the key
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (std::fclose(out) != 0 || !ok) {
    std::perror("ven_file: cannot copy the data");
    return 1;
  }
  return 0;
}
