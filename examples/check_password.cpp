// Checks a document password with the document encryption of VEN: a document made with
// `make` starts with a marker encrypted under its password; `check` decrypts that marker
// with the password given and says whether it comes out right. The password is read from
// standard input (one line), never from the command line.
//
//   check_password make DOCUMENT < password
//   check_password check DOCUMENT < password     exit 0: the password is right; 1: it is not
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "ydr/utf8.h"
#include "ydr/ven.h"

namespace {

const unsigned char kMarker[16] = {'Y', 'D', 'R', '-', 'D', 'O', 'C', 'U', 'M', 'E', 'N', 'T', '-', 'O', 'K', '!'};

// The marker as the password encrypts it (AES-128, CFB-1; a fresh key object each time, as
// each object is one continuous stream).
void Seal(const std::string &password, unsigned char block[16], bool encrypt) {
  const ydr::Utf16String wide = ydr::Utf16FromUtf8(password);
  HVEN ven = VENCreate(wide.c_str(), 4);
  encrypt ? VENWriteBlock(ven, block, 16) : VENReadBlock(ven, block, 16);
  VENRelease(ven);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3 || (std::strcmp(argv[1], "make") != 0 && std::strcmp(argv[1], "check") != 0)) {
    std::fprintf(stderr, "usage: %s make|check DOCUMENT < password\n", argv[0]);
    return 2;
  }
  std::string password;
  std::getline(std::cin, password);
  unsigned char block[16];
  if (std::strcmp(argv[1], "make") == 0) {
    std::memcpy(block, kMarker, 16);
    Seal(password, block, true);
    std::FILE *out = std::fopen(argv[2], "wb");
    if (out == nullptr || std::fwrite(block, 1, 16, out) != 16 || std::fclose(out) != 0) {
      std::perror("check_password: cannot write the document");
      return 1;
    }
    return 0;
  }
  std::FILE *in = std::fopen(argv[2], "rb");
  if (in == nullptr || std::fread(block, 1, 16, in) != 16) {
    std::perror("check_password: cannot read the document");
    return 1;
  }
  std::fclose(in);
  Seal(password, block, false);
  const bool right = std::memcmp(block, kMarker, 16) == 0;
  std::printf("%s\n", right ? "the password is right" : "the password is wrong");
  return right ? 0 : 1;
}
