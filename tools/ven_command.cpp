// ydr ven: document encryption of a file under a password, and the digest password.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "portable/utf16.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/secret.h"
#include "tools/text_output.h"
#include "ydr/ven.h"

namespace ydr::tool {
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
  const auto identity = platform::IdentityOfPath(a);
  return identity && identity == platform::IdentityOfPath(b);
}

// The password from --password-file, --password-fd or the terminal; false after saying why.
bool ReadPassword(const ParsedOptions &options, Secret *secret) {
  std::string error;
  if (options.Has("password-file") && options.Has("password-fd")) {
    Complain(kExitUsage, "give the password one way: --password-file or --password-fd");
    return false;
  }
  if (options.Has("password-file")) {
    const std::string &path = options.Value("password-file");
    if (!secret->FromFile(path, &error)) return Failed("cannot read " + Quoted(Printable(path)) + ": " + error);
    return true;
  }
  if (options.Has("password-fd")) {
    const std::string &text = options.Value("password-fd");
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
      Complain(kExitUsage, "--password-fd takes a descriptor number");
      return false;
    }
    if (!secret->FromDescriptor(std::stoi(text), &error))
      return Failed("cannot read descriptor " + text + ": " + error);
    return true;
  }
  if (!secret->FromTerminal("Password: ", &error)) return Failed(error);
  return true;
}

// The password as the exports take it, UTF-16; wiped when it goes.
struct WidePassword {
  explicit WidePassword(const std::string &utf8) : text(portable::WideFromUtf8(utf8)) {}
  ~WidePassword() { WipeBytes(text.data(), text.size() * sizeof(portable::WChar)); }
  WidePassword(const WidePassword &) = delete;
  WidePassword &operator=(const WidePassword &) = delete;
  portable::WString text;
};

int DigestPassword(const ParsedOptions &options) {
  Secret secret;
  if (!ReadPassword(options, &secret)) return kExitFailure;
  char output[45];
  const bool written = PrintLine(VENLVZMakePassword(secret.text().c_str(), output)) && FlushOutput();
  WipeBytes(output, sizeof output);
  return written ? kExitOk : Complain(kExitFailure, "cannot write to standard output");
}

int RunVen(const ParsedOptions &options) {
  std::vector<std::string> files = options.operands();
  if (files.empty()) return Complain(kExitUsage, "say enc, dec or lvz first (see 'ydr ven --help')");
  const std::string action = files[0];
  files.erase(files.begin());
  if (action == "lvz") {
    return files.empty() ? DigestPassword(options)
                         : Complain(kExitUsage,
                                    "lvz reads the password from --password-file, --password-fd or the "
                                    "terminal, never from the command line");
  }
  if (action != "enc" && action != "dec")
    return Complain(kExitUsage, "say enc, dec or lvz first (see 'ydr ven --help')");
  const bool encrypt = action == "enc";
  const std::string kind = options.ValueOr("kind", "");
  if (kind != "1" && kind != "2" && kind != "3" && kind != "4" && kind != "lvo") {
    return Complain(kExitUsage, "--kind takes 1, 2, 3, 4 or lvo");
  }
  if (files.size() > 2) return Complain(kExitUsage, "give at most IN and OUT (see 'ydr ven --help')");
  if (encrypt && BinaryToTerminal(files.size() < 2 ? "-" : files[1]) && !options.Has("force")) {
    return Complain(kExitFailure, "encrypted data not written to a terminal (use -f to force, or redirect)");
  }
  if (files.size() == 2 && files[0] != "-" && SameFile(files[0], files[1])) {
    return Complain(kExitUsage, Quoted(Printable(files[1])) + " is the input; write to a new file");
  }

  Cipher cipher;
  {
    Secret secret;
    if (!ReadPassword(options, &secret)) return kExitFailure;
    const WidePassword wide(secret.text());
    if (kind == "lvo") {
      cipher.lvo = VENLVOCreate(wide.text.c_str(), 0);
      cipher.unit = 16;
      if (cipher.lvo == nullptr)
        return Complain(kExitFailure, "the lvo kind needs a password of at least 8 characters");
    } else {
      cipher.ven = VENCreate(wide.text.c_str(), static_cast<unsigned>(kind[0] - '0'));
      cipher.unit = kind == "4" ? 16 : 8;
      if (cipher.ven == nullptr) return Complain(kExitFailure, "out of memory");
    }
  }  // the password's copies are wiped here; the key objects wipe themselves when released

  Input in;
  const std::string in_path = files.empty() ? "-" : files[0];
  if (!in.Open(in_path)) return Complain(kExitFailure, "cannot open " + Quoted(Printable(in_path)) + ": " + in.error());
  const std::string out_path = files.size() < 2 ? "-" : files[1];
  if (in.IsSameFileAs(out_path)) {  // standard input may be the file too
    return Complain(kExitUsage, Quoted(Printable(out_path)) + " is the input; write to a new file");
  }
  Output out;
  if (!out.Open(out_path))
    return Complain(kExitFailure, "cannot create " + Quoted(Printable(out_path)) + ": " + out.error());
  // Chunks of whole units; the part of a unit left over waits for the next read.
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t held = 0;
  long got;
  while ((got = in.Read(buffer.data() + held, buffer.size() - held)) > 0) {
    held += static_cast<std::size_t>(got);
    const std::size_t whole = held - held % cipher.unit;
    cipher.Run(buffer.data(), whole, encrypt);
    if (!out.Write(buffer.data(), whole))
      return Complain(kExitFailure, "cannot write " + Quoted(out.name()) + ": " + out.error());
    std::copy(buffer.begin() + static_cast<long>(whole), buffer.begin() + static_cast<long>(held), buffer.begin());
    held -= whole;
  }
  if (got < 0) return Complain(kExitFailure, "cannot read " + Quoted(in.name()) + ": " + in.error());
  if (!out.Write(buffer.data(), held) || !out.Finish()) {
    return Complain(kExitFailure, "cannot write " + Quoted(out.name()) + ": " + out.error());
  }
  return kExitOk;
}

}  // namespace

extern const Command kVenCommand = {
    "ven",
    "document encryption of a file under a password (DES, AES-128)",
    "usage: ydr ven enc|dec --kind 1|2|3|4|lvo [--password-file FILE | --password-fd N] [IN [OUT]]\n"
    "       ydr ven lvz [--password-file FILE | --password-fd N]\n",
    "Encrypts or decrypts IN (default standard input) into OUT (default standard output) under\n"
    "a password; lvz prints the 40-digit digest password of a password. The password is read\n"
    "from FILE, from descriptor N, or, when neither is given, asked for on the terminal without\n"
    "echo; it is never taken from the command line. It is UTF-8; one final line break is\n"
    "ignored; every copy the command makes is wiped.\n"
    "  kinds 1, 2  DES, key folded from the password's bytes\n"
    "  kind 3      DES, key folded from its first 40 characters\n"
    "  kind 4      AES-128, CFB with 1-bit segments, key from the password's SHA-1 digest\n"
    "  lvo         AES-128 ECB, key = the first 8 characters (at least 8 needed)\n"
    "The data goes in whole units (8 bytes for DES, 16 for AES); a shorter final part is\n"
    "copied unchanged, so decryption restores the file exactly. OUT is always a new file: the\n"
    "input is never overwritten.\n"
    "\n"
    "  --kind K             1, 2, 3, 4 or lvo\n"
    "  --password-file F    read the password from file F\n"
    "  --password-fd N      read the password from open descriptor N\n"
    "  -f, --force          write encrypted data to a terminal too\n",
    {{"kind", 0, true, {}, "1 2 3 4 lvo"}, {"password-file", 0, true}, {"password-fd", 0, true}, {"force", 'f', false}},
    false,
    RunVen,
    "enc dec lvz",
};

}  // namespace ydr::tool
