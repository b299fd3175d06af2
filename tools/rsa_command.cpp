// ydr rsa: RSA on one block with the library's exports, keys as openssl writes them.
//
// The exports take a PKCS #1 key as Base64 text of its DER form. Keys are accepted as
// `openssl genrsa` / `openssl rsa -pubout` write them (PKCS #8 private keys, SubjectPublicKey-
// Info public keys, PEM or DER), as PKCS #1 in PEM or DER, or as that Base64 text; libcrypto
// reads them and gives the form the exports take.
#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <strings.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/rsa_key_check.h"
#include "tools/text_output.h"
#include "ydr/rsa.h"

namespace ydr::tool {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

// A 16384-bit private key in PEM takes under 13 KiB; anything far larger is no key file.
constexpr std::size_t kMaxKeyFileBytes = 256 * 1024;

// The key in a file's bytes, by any of the forms above; null when none fits.
Key DecodeKey(const std::vector<unsigned char> &bytes, bool want_private) {
  const auto decode = [&](const unsigned char *data, std::size_t size) -> Key {
    EVP_PKEY *key = nullptr;
    const int selection = want_private ? OSSL_KEYMGMT_SELECT_KEYPAIR : OSSL_KEYMGMT_SELECT_PUBLIC_KEY;
    OSSL_DECODER_CTX *ctx = OSSL_DECODER_CTX_new_for_pkey(&key, nullptr, nullptr, "RSA", selection, nullptr, nullptr);
    if (ctx != nullptr) {
      const unsigned char *cursor = data;
      std::size_t left = size;
      if (OSSL_DECODER_from_data(ctx, &cursor, &left) != 1) key = nullptr;
      OSSL_DECODER_CTX_free(ctx);
    }
    ERR_clear_error();
    return Key(key, EVP_PKEY_free);
  };
  if (Key key = decode(bytes.data(), bytes.size())) return key;
  // Bare Base64 of DER (the exports' own form), perhaps spread over lines.
  std::string text;
  for (unsigned char c : bytes) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') text += static_cast<char>(c);
  }
  if (text.empty() || text.size() % 4 != 0) return Key(nullptr, EVP_PKEY_free);
  std::vector<unsigned char> der(text.size());
  const int n =
      EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char *>(text.data()), static_cast<int>(text.size()));
  if (n <= 0) return Key(nullptr, EVP_PKEY_free);
  // The decoded length counts the bytes that the '=' padding stands for.
  std::size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  return decode(der.data(), static_cast<std::size_t>(n) - padding);
}

// The exports' key text: Base64 of the PKCS #1 DER form.
std::string ExportText(EVP_PKEY *key, bool private_key) {
  unsigned char *der = nullptr;
  const int size = private_key ? i2d_PrivateKey(key, &der) : i2d_PublicKey(key, &der);
  if (size <= 0) return std::string();
  std::string text(4 * ((static_cast<std::size_t>(size) + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(text.data()), der, size);
  OPENSSL_clear_free(der, static_cast<std::size_t>(size));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

int GenerateKey(const ParsedOptions &options, const std::vector<std::string> &files) {
  if (files.size() != 2) return Complain(kExitUsage, "genkey needs PRIVATE and PUBLIC (see 'ydr rsa --help')");
  unsigned bits = 2048;
  if (options.Has("bits")) {
    const std::string &text = options.Value("bits");
    bits = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    if (text.find_first_not_of("0123456789") != std::string::npos || bits < 1024 || bits > 16384) {
      return Complain(kExitUsage, "--bits takes a size from 1024 to 16384");
    }
  }
  Key key(EVP_RSA_gen(bits), EVP_PKEY_free);
  if (key == nullptr) return Complain(kExitFailure, "libcrypto could not make the key");
  const auto write = [&](const std::string &path, bool private_key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> memory(BIO_new(BIO_s_mem()), BIO_free);
    const int ok = private_key
                       ? PEM_write_bio_PrivateKey(memory.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)
                       : PEM_write_bio_PUBKEY(memory.get(), key.get());
    char *data = nullptr;
    const long size = BIO_get_mem_data(memory.get(), &data);
    Output out;
    // A private key is readable by its owner only.
    if (ok != 1 || size <= 0 || !out.Open(path, private_key ? 0600 : 0666, private_key)) {
      return Failed("cannot create " + Quoted(Printable(path)) + ": " +
                    (out.error().empty() ? "libcrypto failed" : out.error()));
    }
    if (!out.Write(data, static_cast<std::size_t>(size)) || !out.Finish()) {
      return Failed("cannot write " + Quoted(Printable(path)) + ": " + out.error());
    }
    return true;
  };
  return write(files[0], true) && write(files[1], false) ? kExitOk : kExitFailure;
}

int RunRsa(const ParsedOptions &options) {
  std::vector<std::string> files = options.operands();
  if (files.empty()) return Complain(kExitUsage, "say enc, dec or genkey first (see 'ydr rsa --help')");
  const std::string action = files[0];
  files.erase(files.begin());
  if (action == "genkey") return GenerateKey(options, files);
  if (action != "enc" && action != "dec")
    return Complain(kExitUsage, "say enc, dec or genkey first (see 'ydr rsa --help')");
  const bool encrypt = action == "enc";
  if (options.Has("public") == options.Has("private")) {
    return Complain(kExitUsage, "give one key: --public KEYFILE or --private KEYFILE");
  }
  const bool private_key = options.Has("private");
  const std::string key_file = options.Value(private_key ? "private" : "public");
  if (files.size() > 2) return Complain(kExitUsage, "give at most IN and OUT (see 'ydr rsa --help')");
  // Both directions give binary (a signature, recovered or decrypted bytes may be text, but
  // encryption's never is): only encryption's is refused on a terminal.
  if (encrypt && BinaryToTerminal(files.size() < 2 ? "-" : files[1]) && !options.Has("force")) {
    return Complain(kExitFailure, "encrypted data not written to a terminal (use -f to force, or redirect)");
  }

  Input key_input;
  std::vector<unsigned char> key_bytes;
  bool key_too_long = false;
  if (!key_input.Open(key_file) || !ReadUpTo(key_input, kMaxKeyFileBytes, &key_bytes, &key_too_long)) {
    return Complain(kExitFailure, "cannot read " + Quoted(Printable(key_file)) + ": " + key_input.error());
  }
  if (key_too_long) {
    OPENSSL_cleanse(key_bytes.data(), key_bytes.size());
    return Complain(kExitFailure, Quoted(Printable(key_file)) + ": more than " +
                                      std::to_string(kMaxKeyFileBytes / 1024) + " KiB, larger than any key file");
  }
  Key key = DecodeKey(key_bytes, private_key);
  const bool protected_key = key == nullptr && IsPassphraseProtectedPem(key_bytes);
  OPENSSL_cleanse(key_bytes.data(), key_bytes.size());
  const char *kind_name = private_key ? "private" : "public";
  if (protected_key) {
    return Complain(kExitFailure, Quoted(Printable(key_file)) +
                                      ": the key is protected by a passphrase, which ydr rsa does not take");
  }
  if (key == nullptr || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    return Complain(kExitFailure, Quoted(Printable(key_file)) + ": not an RSA " + std::string(kind_name) + " key");
  }
  if (const std::string reason = UnusableRsaKeyReason(key.get()); !reason.empty()) {
    return Complain(kExitFailure,
                    Quoted(Printable(key_file)) + ": not a usable RSA " + std::string(kind_name) + " key: " + reason);
  }
  std::string key_text = ExportText(key.get(), private_key);
  const auto wipe = [&] { OPENSSL_cleanse(key_text.data(), key_text.size()); };
  using Export = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);
  const Export run = encrypt ? (private_key ? YDR_RSA_Encrypt_PrivateKey : YDR_RSA_Encrypt_PublicKey)
                             : (private_key ? YDR_RSA_Decrypt_PrivateKey : YDR_RSA_Decrypt_PublicKey);
  const unsigned modulus = static_cast<unsigned>(EVP_PKEY_get_size(key.get()));

  Input in;
  const std::string in_path = files.empty() ? "-" : files[0];
  const std::string out_path = files.size() < 2 ? "-" : files[1];
  if (!in.Open(in_path)) {
    wipe();
    return Complain(kExitFailure, "cannot open " + Quoted(Printable(in_path)) + ": " + in.error());
  }
  if (in.IsSameFileAs(out_path)) {
    wipe();
    return Complain(kExitUsage, Quoted(Printable(out_path)) + " is the input; write to a new file");
  }
  // One block at most: a longer input is refused after reading one byte past the block.
  std::vector<unsigned char> data;
  bool too_long = false;
  if (!ReadUpTo(in, modulus, &data, &too_long)) {
    wipe();
    return Complain(kExitFailure, "cannot read " + Quoted(Printable(in_path)) + ": " + in.error());
  }
  const std::string in_name = Quoted(Printable(in.name()));
  const std::string size = (too_long ? "more than " : "") + std::to_string(data.size()) + " bytes";
  if (encrypt && (too_long || data.size() > modulus - 11)) {
    wipe();
    return Complain(kExitFailure, in_name + ": " + size + "; this " + std::to_string(modulus * 8) +
                                      "-bit key takes at most " + std::to_string(modulus - 11));
  }
  if (!encrypt && (too_long || data.size() != modulus)) {
    wipe();
    return Complain(kExitFailure, in_name + ": " + size + "; a block of this key is " + std::to_string(modulus));
  }
  std::vector<unsigned char> result(modulus);
  const unsigned n = run(static_cast<unsigned>(data.size()), data.data(), result.data(), key_text.c_str());
  wipe();
  if (n == YDR_RSA_FAILED && encrypt) {
    return Complain(kExitFailure, Quoted(Printable(key_file)) + ": libcrypto would not encrypt with this key");
  }
  if (n == YDR_RSA_FAILED) {
    return Complain(kExitFailure,
                    in_name + ": the padding does not check out (not made with the matching key, or damaged)");
  }
  Output out;
  if (!out.Open(out_path))
    return Complain(kExitFailure, "cannot create " + Quoted(Printable(out_path)) + ": " + out.error());
  if (!out.Write(result.data(), n) || !out.Finish()) {
    return Complain(kExitFailure, "cannot write " + Quoted(out.name()) + ": " + out.error());
  }
  return kExitOk;
}

}  // namespace

extern const Command kRsaCommand = {
    "rsa",
    "RSA encryption, decryption and raw signatures on one block (PKCS #1 v1.5)",
    "usage: ydr rsa enc|dec --public|--private KEYFILE [IN [OUT]]\n"
    "       ydr rsa genkey [--bits N] PRIVATE PUBLIC\n",
    "RSA with PKCS #1 v1.5 padding on one block.\n"
    "  enc --public    encrypt for the holder of the private key\n"
    "  dec --private   decrypt that\n"
    "  enc --private   sign: the raw signature of IN (which is not hashed)\n"
    "  dec --public    recover the signed bytes\n"
    "  genkey          make a key pair: PRIVATE as PKCS #8 PEM (mode 0600), PUBLIC as\n"
    "                  SubjectPublicKeyInfo PEM, as openssl genpkey and openssl rsa -pubout do\n"
    "KEYFILE may hold a key as openssl writes it (PKCS #8 or PKCS #1 private keys, Subject-\n"
    "PublicKeyInfo or PKCS #1 public keys, in PEM or DER) or the Base64 text of a PKCS #1 DER\n"
    "key. Encryption takes at most the key's size less 11 bytes; decryption one whole block.\n"
    "A key with a modulus below 512 bits, above 16384 bits or even, or with a public exponent\n"
    "below 3 or even, is refused; so is a key protected by a passphrase.\n"
    "\n"
    "  --public FILE    the public key\n"
    "  --private FILE   the private key\n"
    "  --bits N         genkey: the modulus size (default 2048)\n"
    "  -f, --force      write encrypted data to a terminal too\n",
    {{"public", 0, true}, {"private", 0, true}, {"bits", 0, true}, {"force", 'f', false}},
    false,
    RunRsa,
    "enc dec genkey",
};

}  // namespace ydr::tool
