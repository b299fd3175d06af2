// ydr sha1, ydr seed and ydr rsa: the digest, the block cipher and the RSA exports on files.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/text_output.h"
#include "ydr/rsa.h"
#include "ydr/seed.h"
#include "ydr/sha1.h"

namespace ydr::tool {

const char kSha1Usage[] =
    "usage: ydr sha1 [FILE...]      print the SHA-1 digest of each FILE (standard input: none or '-')\n"
    "       ydr sha1 -c LIST        check the digests listed in LIST\n"
    "\n"
    "Lines are '<40 hex digits>  <name>', as sha1sum writes them. With -c, each listed file is\n"
    "reported OK or FAILED, and the exit status is 1 when any failed or could not be read.\n";

const char kSeedUsage[] =
    "usage: ydr seed enc|dec --mode ecb|cbc|ofb|cfb --key HEX [--iv HEX] [--pad pkcs|none] [IN [OUT]]\n"
    "\n"
    "Encrypts or decrypts with the SEED block cipher. The key is 16 bytes (32 hex digits); CBC,\n"
    "OFB and CFB (128-bit feedback) also need the 16-byte initial vector. ECB and CBC pad with\n"
    "PKCS padding unless --pad none is given (the data must then be whole 16-byte blocks); OFB\n"
    "and CFB need no padding. IN and OUT default to standard input and output; a failed run\n"
    "leaves no output file.\n";

const char kRsaUsage[] =
    "usage: ydr rsa enc|dec --public|--private KEYFILE [IN [OUT]]\n"
    "\n"
    "RSA with PKCS #1 v1.5 padding on one block. KEYFILE holds the Base64 text of a DER PKCS #1\n"
    "key (PEM armour lines are ignored).\n"
    "  enc --public    encrypt for the holder of the private key\n"
    "  dec --private   decrypt that\n"
    "  enc --private   sign: the raw signature of IN (which is not hashed)\n"
    "  dec --public    recover the signed bytes\n"
    "Encryption takes at most the key's size less 11 bytes; decryption one whole block.\n";

namespace {

std::string Hex(const unsigned char *bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return out;
}

bool ParseHex(const std::string &text, std::vector<unsigned char> *bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      return false;
    }
    bytes->push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return true;
}

// The digest of a whole input, or false with the input's error.
bool DigestOf(const std::string &path, std::string *hex, std::string *error) {
  Input in;
  if (!in.Open(path)) {
    *error = in.name() + ": " + in.error();
    return false;
  }
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  std::vector<unsigned char> buffer(1 << 16);
  long got;
  while ((got = in.Read(buffer.data(), buffer.size())) > 0)
    YDR_SHA1_Update(&info, buffer.data(), static_cast<unsigned>(got));
  if (got < 0) {
    *error = in.name() + ": " + in.error();
    return false;
  }
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  *hex = Hex(digest, 20);
  return true;
}

int CheckList(const std::string &list_path) {
  Input list;
  if (!list.Open(list_path)) return Complain(kExitFailure, list.name() + ": " + list.error());
  std::string text;
  char chunk[4096];
  long got;
  while ((got = list.Read(chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
  if (got < 0) return Complain(kExitFailure, list.name() + ": " + list.error());
  std::istringstream lines(text);
  std::string line;
  int failed = 0, unreadable = 0, malformed = 0, checked = 0;
  bool written = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // "<digest>  <name>" or "<digest> *<name>" (binary mode, the same for SHA-1).
    if (line.size() < 43 || line[40] != ' ' || (line[41] != ' ' && line[41] != '*')) {
      ++malformed;
      continue;
    }
    std::vector<unsigned char> expected;
    if (!ParseHex(line.substr(0, 40), &expected)) {
      ++malformed;
      continue;
    }
    const std::string name = line.substr(42);
    std::string actual, error;
    ++checked;
    if (!DigestOf(name, &actual, &error)) {
      Complain(kExitFailure, error);
      written = PrintLine(name + ": FAILED open or read") && written;
      ++unreadable;
    } else if (actual != Hex(expected.data(), expected.size())) {
      written = PrintLine(name + ": FAILED") && written;
      ++failed;
    } else {
      written = PrintLine(name + ": OK") && written;
    }
  }
  if (malformed != 0) Complain(kExitFailure, std::to_string(malformed) + " line(s) are not digest lines");
  if (failed != 0) Complain(kExitFailure, std::to_string(failed) + " computed digest(s) did not match");
  if (unreadable != 0) Complain(kExitFailure, std::to_string(unreadable) + " listed file(s) could not be read");
  if (!written || !FlushOutput()) return Complain(kExitFailure, "standard output: write failed");
  if (checked == 0) return Complain(kExitFailure, list.name() + ": no digest lines found");
  return failed + unreadable + malformed == 0 ? kExitOk : kExitFailure;
}

// Reads a whole input into memory.
bool ReadAll(Input &in, std::vector<unsigned char> *data) {
  unsigned char chunk[1 << 16];
  long got;
  while ((got = in.Read(chunk, sizeof chunk)) > 0) data->insert(data->end(), chunk, chunk + got);
  return got == 0;
}

}  // namespace

int RunSha1(const Arguments &args) {
  if (!args.empty() && (args[0] == "-c" || args[0] == "--check")) {
    if (args.size() != 2) return Complain(kExitUsage, "-c takes one list file (see 'ydr help sha1')");
    return CheckList(args[1]);
  }
  for (const std::string &arg : args) {
    if (arg.size() > 1 && arg[0] == '-')
      return Complain(kExitUsage, "unknown option '" + arg + "' (see 'ydr help sha1')");
  }
  const Arguments files = args.empty() ? Arguments{"-"} : args;
  int status = kExitOk;
  for (const std::string &file : files) {
    std::string hex, error;
    if (!DigestOf(file, &hex, &error)) {
      status = Complain(kExitFailure, error);
      continue;
    }
    if (!PrintLine(hex.append("  ").append(file))) return Complain(kExitFailure, "standard output: write failed");
  }
  if (std::fflush(stdout) != 0) return Complain(kExitFailure, "standard output: write failed");
  return status;
}

int RunSeed(const Arguments &args) {
  if (args.empty() || (args[0] != "enc" && args[0] != "dec")) {
    return Complain(kExitUsage, "say 'enc' or 'dec' first (see 'ydr help seed')");
  }
  const bool encrypt = args[0] == "enc";
  unsigned mode = 0, padding = YDR_SEED_PAD_PKCS;
  std::vector<unsigned char> key, iv;
  bool have_key = false, have_iv = false;
  Arguments files;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string &arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--mode" && has_value) {
      const std::string &m = args[++i];
      mode = m == "ecb"   ? YDR_SEED_MODE_ECB
             : m == "cbc" ? YDR_SEED_MODE_CBC
             : m == "ofb" ? YDR_SEED_MODE_OFB
             : m == "cfb" ? YDR_SEED_MODE_CFB
                          : 0;
      if (mode == 0) return Complain(kExitUsage, "--mode takes ecb, cbc, ofb or cfb");
    } else if (arg == "--key" && has_value) {
      if (!ParseHex(args[++i], &key) || key.size() != 16) {
        return Complain(kExitUsage, "the key must be 16 bytes: 32 hex digits");
      }
      have_key = true;
    } else if (arg == "--iv" && has_value) {
      if (!ParseHex(args[++i], &iv) || iv.size() != 16) {
        return Complain(kExitUsage, "the initial vector must be 16 bytes: 32 hex digits");
      }
      have_iv = true;
    } else if (arg == "--pad" && has_value) {
      const std::string &p = args[++i];
      if (p != "pkcs" && p != "none") return Complain(kExitUsage, "--pad takes pkcs or none");
      padding = p == "pkcs" ? YDR_SEED_PAD_PKCS : YDR_SEED_PAD_NONE;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Complain(kExitUsage, "unknown option or missing value: '" + arg + "' (see 'ydr help seed')");
    } else {
      files.push_back(arg);
    }
  }
  if (mode == 0) return Complain(kExitUsage, "--mode is required (ecb, cbc, ofb or cfb)");
  if (!have_key) return Complain(kExitUsage, "--key is required (32 hex digits)");
  if (mode != YDR_SEED_MODE_ECB && !have_iv) return Complain(kExitUsage, "this mode needs --iv (32 hex digits)");
  if (mode == YDR_SEED_MODE_ECB && have_iv) return Complain(kExitUsage, "ECB takes no initial vector");
  if (files.size() > 2) return Complain(kExitUsage, "wrong number of files (see 'ydr help seed')");

  Input in;
  if (!in.Open(files.empty() ? "-" : files[0])) return Complain(kExitFailure, in.name() + ": " + in.error());
  Output out;
  if (!out.Open(files.size() < 2 ? "-" : files[1])) return Complain(kExitFailure, out.name() + ": " + out.error());

  YDR_SEED_ALG_INFO info;
  YDR_SEED_SetAlgInfo(mode, padding, have_iv ? iv.data() : nullptr, &info);
  YDR_SEED_KeySchedule(key.data(), 16, &info);
  encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info);
  std::vector<unsigned char> chunk(1 << 16), result(chunk.size() + 32);
  long got;
  while ((got = in.Read(chunk.data(), chunk.size())) > 0) {
    unsigned n = 0;
    encrypt ? YDR_SEED_EncUpdate(&info, chunk.data(), static_cast<unsigned>(got), result.data(), &n)
            : YDR_SEED_DecUpdate(&info, chunk.data(), static_cast<unsigned>(got), result.data(), &n);
    if (!out.Write(result.data(), n)) return Complain(kExitFailure, out.name() + ": " + out.error());
  }
  if (got < 0) return Complain(kExitFailure, in.name() + ": " + in.error());
  unsigned n = 0;
  const unsigned status =
      encrypt ? YDR_SEED_EncFinal(&info, result.data(), &n) : YDR_SEED_DecFinal(&info, result.data(), &n);
  switch (status) {
    case YDR_SEED_OK: break;
    case YDR_SEED_ERR_PADDING:
      return Complain(kExitFailure,
                      in.name() + ": the padding does not check out (wrong key, vector or mode, or damaged data)");
    case YDR_SEED_ERR_PARTIAL:
      return Complain(kExitFailure, in.name() + ": not a whole number of 16-byte blocks; use --pad pkcs");
    case YDR_SEED_ERR_CIPHERTEXT:
      return Complain(kExitFailure, in.name() + ": not a whole number of 16-byte blocks, so not ECB or CBC ciphertext");
    default: return Complain(kExitFailure, "the cipher refused the settings (status " + std::to_string(status) + ")");
  }
  if (!out.Write(result.data(), n) || !out.Finish()) return Complain(kExitFailure, out.name() + ": " + out.error());
  return kExitOk;
}

int RunRsa(const Arguments &args) {
  if (args.empty() || (args[0] != "enc" && args[0] != "dec")) {
    return Complain(kExitUsage, "say 'enc' or 'dec' first (see 'ydr help rsa')");
  }
  const bool encrypt = args[0] == "enc";
  int kind = 0;  // 1 public, 2 private
  std::string key_file;
  Arguments files;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == "--public" || args[i] == "--private") && i + 1 < args.size()) {
      if (kind != 0) return Complain(kExitUsage, "give one key: --public or --private");
      kind = args[i] == "--public" ? 1 : 2;
      key_file = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Complain(kExitUsage, "unknown option or missing value: '" + args[i] + "' (see 'ydr help rsa')");
    } else {
      files.push_back(args[i]);
    }
  }
  if (kind == 0) return Complain(kExitUsage, "a key is required: --public KEYFILE or --private KEYFILE");
  if (files.size() > 2) return Complain(kExitUsage, "wrong number of files (see 'ydr help rsa')");

  std::ifstream key_stream(key_file);
  if (!key_stream) return Complain(kExitFailure, key_file + ": cannot read the key file");
  std::string key_text, line;
  while (std::getline(key_stream, line)) {
    if (line.rfind("-----", 0) != 0) key_text += line + "\n";  // armour lines are not Base64
  }
  const char *kind_name = kind == 1 ? "public" : "private";
  using Export = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);
  const Export probe = kind == 1 ? YDR_RSA_Encrypt_PublicKey : YDR_RSA_Encrypt_PrivateKey;
  const Export run = encrypt ? probe : (kind == 1 ? YDR_RSA_Decrypt_PublicKey : YDR_RSA_Decrypt_PrivateKey);
  // The output never exceeds the modulus, which is shorter than the key's DER form.
  std::vector<unsigned char> result(key_text.size() + 16);
  // Encrypting nothing tells whether the key is usable, and its size.
  const unsigned modulus = probe(0, result.data(), result.data(), key_text.c_str());
  if (modulus == YDR_RSA_FAILED) {
    return Complain(kExitFailure,
                    key_file + ": not the Base64 text of a DER PKCS #1 RSA " + std::string(kind_name) + " key");
  }

  Input in;
  if (!in.Open(files.empty() ? "-" : files[0])) return Complain(kExitFailure, in.name() + ": " + in.error());
  std::vector<unsigned char> data;
  if (!ReadAll(in, &data)) return Complain(kExitFailure, in.name() + ": " + in.error());
  if (encrypt && data.size() > modulus - 11) {
    return Complain(kExitFailure, in.name() + ": " + std::to_string(data.size()) + " bytes; this " +
                                      std::to_string(modulus * 8) + "-bit key takes at most " +
                                      std::to_string(modulus - 11));
  }
  if (!encrypt && data.size() != modulus) {
    return Complain(kExitFailure, in.name() + ": " + std::to_string(data.size()) + " bytes; a block of this key is " +
                                      std::to_string(modulus));
  }
  const unsigned n = run(static_cast<unsigned>(data.size()), data.data(), result.data(), key_text.c_str());
  if (n == YDR_RSA_FAILED) {
    return Complain(kExitFailure,
                    in.name() + ": the padding does not check out (not made with the matching key, or damaged)");
  }
  Output out;
  if (!out.Open(files.size() < 2 ? "-" : files[1])) return Complain(kExitFailure, out.name() + ": " + out.error());
  if (!out.Write(result.data(), n) || !out.Finish()) return Complain(kExitFailure, out.name() + ": " + out.error());
  return kExitOk;
}

}  // namespace ydr::tool
