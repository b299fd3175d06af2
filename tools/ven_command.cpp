// ydr ven: document encryption of a file under a password.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/utf16.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/text_output.h"
#include "ydr/ven.h"

namespace ydr::tool {

const char kVenUsage[] =
    "usage: ydr ven enc|dec --kind 1|2|3|4|lvo --password-file FILE [IN [OUT]]\n"
    "       ydr ven lvz PASSWORD      print the digest password of PASSWORD\n"
    "\n"
    "Encrypts or decrypts IN (default standard input) into OUT (default standard output)\n"
    "under the password in FILE (UTF-8; one final line break is ignored).\n"
    "  kinds 1, 2  DES, key folded from the password's bytes\n"
    "  kind 3      DES, key folded from its first 40 characters\n"
    "  kind 4      AES-128, CFB with 1-bit segments, key from the password's SHA-1 digest\n"
    "  lvo         AES-128 ECB, key = the first 8 characters (at least 8 needed)\n"
    "The data goes in whole units (8 bytes for DES, 16 for AES); a shorter final part is\n"
    "copied unchanged, so decryption restores the file exactly. OUT is always a new file:\n"
    "the input is never overwritten.\n";

namespace {

struct Cipher {
  HVEN ven = nullptr;
  HVENLVO lvo = nullptr;
  std::size_t unit = 8;
  ~Cipher() {
    if (ven != nullptr) VENRelease(ven);
    if (lvo != nullptr) VENLVORelease(lvo);
  }
  void Run(unsigned char *data, std::size_t size, bool encrypt) const {
    const int length = static_cast<int>(size);
    if (ven != nullptr) {
      encrypt ? VENWriteBlock(ven, data, length) : VENReadBlock(ven, data, length);
    } else {
      encrypt ? VENLVOWriteBlock(lvo, data, length) : VENLVOReadBlock(lvo, data, length);
    }
  }
};

bool SameFile(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int RunVen(const Arguments &args) {
  if (!args.empty() && args[0] == "lvz") {
    if (args.size() != 2) return Complain(kExitUsage, "lvz takes one password (see 'ydr help ven')");
    char output[45];
    if (!PrintLine(VENLVZMakePassword(args[1].c_str(), output)) || !FlushOutput()) {
      return Complain(kExitFailure, "standard output: write failed");
    }
    return kExitOk;
  }
  if (args.empty() || (args[0] != "enc" && args[0] != "dec")) {
    return Complain(kExitUsage, "say 'enc', 'dec' or 'lvz' first (see 'ydr help ven')");
  }
  const bool encrypt = args[0] == "enc";
  std::string kind, password_file;
  Arguments files;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--kind" && i + 1 < args.size()) {
      kind = args[++i];
    } else if (args[i] == "--password-file" && i + 1 < args.size()) {
      password_file = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Complain(kExitUsage, "unknown option or missing value: '" + args[i] + "' (see 'ydr help ven')");
    } else {
      files.push_back(args[i]);
    }
  }
  if (kind != "1" && kind != "2" && kind != "3" && kind != "4" && kind != "lvo") {
    return Complain(kExitUsage, "--kind takes 1, 2, 3, 4 or lvo");
  }
  if (password_file.empty()) return Complain(kExitUsage, "--password-file is required");
  if (files.size() > 2) return Complain(kExitUsage, "wrong number of files (see 'ydr help ven')");
  if (files.size() == 2 && files[0] != "-" && SameFile(files[0], files[1])) {
    return Complain(kExitUsage, files[1] + ": is the input; write to a new file");
  }

  std::ifstream stream(password_file, std::ios::binary);
  if (!stream) return Complain(kExitFailure, password_file + ": cannot read the password file");
  std::ostringstream text;
  text << stream.rdbuf();
  std::string password = text.str();
  if (!password.empty() && password.back() == '\n') password.pop_back();
  if (!password.empty() && password.back() == '\r') password.pop_back();
  const platform::WString wide = platform::WideFromUtf8(password);

  Cipher cipher;
  if (kind == "lvo") {
    cipher.lvo = VENLVOCreate(wide.c_str(), 0);
    cipher.unit = 16;
    if (cipher.lvo == nullptr) return Complain(kExitFailure, "the lvo kind needs a password of at least 8 characters");
  } else {
    cipher.ven = VENCreate(wide.c_str(), static_cast<unsigned>(kind[0] - '0'));
    cipher.unit = kind == "4" ? 16 : 8;
    if (cipher.ven == nullptr) return Complain(kExitFailure, "out of memory");
  }

  Input in;
  if (!in.Open(files.empty() ? "-" : files[0])) return Complain(kExitFailure, in.name() + ": " + in.error());
  Output out;
  if (!out.Open(files.size() < 2 ? "-" : files[1])) return Complain(kExitFailure, out.name() + ": " + out.error());
  // Chunks of whole units; the part of a unit left over waits for the next read.
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t held = 0;
  long got;
  while ((got = in.Read(buffer.data() + held, buffer.size() - held)) > 0) {
    held += static_cast<std::size_t>(got);
    const std::size_t whole = held - held % cipher.unit;
    cipher.Run(buffer.data(), whole, encrypt);
    if (!out.Write(buffer.data(), whole)) return Complain(kExitFailure, out.name() + ": " + out.error());
    std::copy(buffer.begin() + static_cast<long>(whole), buffer.begin() + static_cast<long>(held), buffer.begin());
    held -= whole;
  }
  if (got < 0) return Complain(kExitFailure, in.name() + ": " + in.error());
  if (!out.Write(buffer.data(), held) || !out.Finish()) return Complain(kExitFailure, out.name() + ": " + out.error());
  return kExitOk;
}

}  // namespace ydr::tool
