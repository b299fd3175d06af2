// ydr seed: the SEED block cipher on files, spelled as our own options or as openssl enc's.
#include <cctype>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/text_output.h"
#include "ydr/seed.h"

namespace ydr::tool {
namespace {

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

unsigned ParseMode(const std::string &mode) {
  return mode == "ecb"   ? YDR_SEED_MODE_ECB
         : mode == "cbc" ? YDR_SEED_MODE_CBC
         : mode == "ofb" ? YDR_SEED_MODE_OFB
         : mode == "cfb" ? YDR_SEED_MODE_CFB
                         : 0;
}

int RunSeed(const ParsedOptions &options) {
  // The direction: the word enc or dec first, or openssl's -e / -d.
  std::vector<std::string> files = options.operands();
  int direction = options.Has("encrypt") ? 1 : options.Has("decrypt") ? 2 : 0;
  if (options.Has("encrypt") && options.Has("decrypt")) return Complain(kExitUsage, "-e and -d exclude one another");
  if (!files.empty() && (files[0] == "enc" || files[0] == "dec")) {
    const int word = files[0] == "enc" ? 1 : 2;
    if (direction != 0 && direction != word) return Complain(kExitUsage, "enc/dec and -e/-d disagree");
    direction = word;
    files.erase(files.begin());
  }
  if (direction == 0) return Complain(kExitUsage, "say enc or dec (or -e or -d) (see 'ydr seed --help')");
  const bool encrypt = direction == 1;

  // The mode: --mode, or openssl's cipher names.
  unsigned mode = options.Has("mode") ? ParseMode(options.Value("mode")) : 0;
  if (options.Has("mode") && mode == 0) return Complain(kExitUsage, "--mode takes ecb, cbc, ofb or cfb");
  for (const char *name : {"seed-ecb", "seed-cbc", "seed-ofb", "seed-cfb"}) {
    if (!options.Has(name)) continue;
    const unsigned named = ParseMode(std::string(name).substr(5));
    if (mode != 0 && mode != named) return Complain(kExitUsage, "more than one mode given");
    mode = named;
  }
  if (mode == 0) return Complain(kExitUsage, "a mode is needed: --mode ecb|cbc|ofb|cfb (or -seed-cbc, ...)");

  std::vector<unsigned char> key, iv;
  if (!options.Has("key")) return Complain(kExitUsage, "--key is required (32 hex digits)");
  if (!ParseHex(options.Value("key"), &key) || key.size() != 16) {
    return Complain(kExitUsage, "the key must be 16 bytes: 32 hex digits");
  }
  if (options.Has("iv") && (!ParseHex(options.Value("iv"), &iv) || iv.size() != 16)) {
    return Complain(kExitUsage, "the initial vector must be 16 bytes: 32 hex digits");
  }
  if (mode != YDR_SEED_MODE_ECB && iv.empty()) return Complain(kExitUsage, "this mode needs --iv (32 hex digits)");
  if (mode == YDR_SEED_MODE_ECB && !iv.empty()) return Complain(kExitUsage, "ECB takes no initial vector");
  unsigned padding = YDR_SEED_PAD_PKCS;
  if (options.Has("pad")) {
    const std::string &pad = options.Value("pad");
    if (pad != "pkcs" && pad != "none") return Complain(kExitUsage, "--pad takes pkcs or none");
    padding = pad == "pkcs" ? YDR_SEED_PAD_PKCS : YDR_SEED_PAD_NONE;
  }
  if (options.Has("nopad")) padding = YDR_SEED_PAD_NONE;

  if (options.Has("in")) files.insert(files.begin(), options.Value("in"));
  if (options.Has("out")) {
    if (files.empty()) files.push_back("-");
    files.insert(files.begin() + 1, options.Value("out"));
  }
  if (files.size() > 2) return Complain(kExitUsage, "give at most IN and OUT (see 'ydr seed --help')");

  Input in;
  const std::string in_path = files.empty() ? "-" : files[0];
  if (!in.Open(in_path)) return Complain(kExitFailure, "cannot open " + Quoted(Printable(in_path)) + ": " + in.error());
  const std::string out_path = files.size() < 2 ? "-" : files[1];
  if (encrypt && BinaryToTerminal(out_path) && !options.Has("force")) {
    return Complain(kExitFailure, "encrypted data not written to a terminal (use -f to force, or redirect)");
  }
  if (in.IsSameFileAs(out_path)) {
    return Complain(kExitUsage, Quoted(Printable(out_path)) + " is the input; write to a new file");
  }
  Output out;
  if (!out.Open(out_path))
    return Complain(kExitFailure, "cannot create " + Quoted(Printable(out_path)) + ": " + out.error());
  const std::string in_name = Quoted(Printable(in.name()));

  YDR_SEED_ALG_INFO info;
  YDR_SEED_SetAlgInfo(mode, padding, iv.empty() ? nullptr : iv.data(), &info);
  YDR_SEED_KeySchedule(key.data(), 16, &info);
  encrypt ? YDR_SEED_EncInit(&info) : YDR_SEED_DecInit(&info);
  std::vector<unsigned char> chunk(1 << 16), result(chunk.size() + 32);
  long got;
  while ((got = in.Read(chunk.data(), chunk.size())) > 0) {
    unsigned n = 0;
    encrypt ? YDR_SEED_EncUpdate(&info, chunk.data(), static_cast<unsigned>(got), result.data(), &n)
            : YDR_SEED_DecUpdate(&info, chunk.data(), static_cast<unsigned>(got), result.data(), &n);
    if (!out.Write(result.data(), n))
      return Complain(kExitFailure, "cannot write " + Quoted(out.name()) + ": " + out.error());
  }
  if (got < 0) return Complain(kExitFailure, "cannot read " + in_name + ": " + in.error());
  unsigned n = 0;
  const unsigned status =
      encrypt ? YDR_SEED_EncFinal(&info, result.data(), &n) : YDR_SEED_DecFinal(&info, result.data(), &n);
  switch (status) {
    case YDR_SEED_OK: break;
    case YDR_SEED_ERR_PADDING:
      return Complain(kExitFailure,
                      in_name + ": the padding does not check out (wrong key, vector or mode, or damaged data)");
    case YDR_SEED_ERR_PARTIAL:
      return Complain(kExitFailure, in_name + ": not a whole number of 16-byte blocks; use --pad pkcs");
    case YDR_SEED_ERR_CIPHERTEXT:
      return Complain(kExitFailure, in_name + ": not a whole number of 16-byte blocks, so not ECB or CBC ciphertext");
    default: return Complain(kExitFailure, "the cipher refused the settings (status " + std::to_string(status) + ")");
  }
  if (!out.Write(result.data(), n) || !out.Finish()) {
    return Complain(kExitFailure, "cannot write " + Quoted(out.name()) + ": " + out.error());
  }
  return kExitOk;
}

}  // namespace

extern const Command kSeedCommand = {
    "seed",
    "encrypt or decrypt with the SEED block cipher (ECB, CBC, OFB, CFB)",
    "usage: ydr seed enc|dec --mode ecb|cbc|ofb|cfb --key HEX [--iv HEX] [--pad pkcs|none] [-f] [IN [OUT]]\n"
    "       ydr seed -e|-d -seed-cbc -K HEX -iv HEX [-nopad] -in IN -out OUT\n",
    "Encrypts or decrypts with the SEED block cipher. The key is 16 bytes (32 hex digits); CBC,\n"
    "OFB and CFB (128-bit feedback) also need the 16-byte initial vector. ECB and CBC pad with\n"
    "PKCS padding unless --pad none is given (the data must then be whole 16-byte blocks); OFB\n"
    "and CFB need no padding. IN and OUT default to standard input and output; a failed run\n"
    "leaves no output file, and OUT may not be IN itself. openssl enc's spellings work too: -e, -d, -seed-ecb, "
    "-seed-cbc,\n"
    "-seed-ofb, -seed-cfb, -K, -iv, -in, -out, -nopad.\n"
    "\n"
    "  --mode M        ecb, cbc, ofb or cfb\n"
    "  --key HEX, -K   the key, 32 hex digits\n"
    "  --iv HEX        the initial vector, 32 hex digits (not for ECB)\n"
    "  --pad P         pkcs (the default) or none; -nopad is --pad none\n"
    "  --in IN, --out OUT\n"
    "                  the files, as operands or options\n"
    "  -f, --force     write encrypted data to a terminal too\n",
    {{"mode", 0, true, {}, "ecb cbc ofb cfb"},
     {"key", 'K', true},
     {"iv", 0, true, {"iv"}},
     {"pad", 0, true, {}, "pkcs none"},
     {"nopad", 0, false, {"nopad"}},
     {"in", 0, true, {"in"}},
     {"out", 0, true, {"out"}},
     {"encrypt", 'e', false},
     {"decrypt", 'd', false},
     {"seed-ecb", 0, false, {"seed-ecb"}},
     {"seed-cbc", 0, false, {"seed-cbc"}},
     {"seed-ofb", 0, false, {"seed-ofb"}},
     {"seed-cfb", 0, false, {"seed-cfb"}},
     {"force", 'f', false}},
    false,
    RunSeed,
    "enc dec",
};

}  // namespace ydr::tool
