// ydr: the library's services on the command line.
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/command.h"
#include "tools/text_output.h"
#include "ydr/ydr.h"

namespace ydr::tool {

int Complain(int status, const std::string &message) {
  Note("ydr: %s\n", message.c_str());
  return status;
}

void Note(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  static_cast<void>(std::vfprintf(stderr, format, arguments));
  va_end(arguments);
}

namespace {

constexpr const char kUsage[] =
    "usage: ydr <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  numstr STYLE NUMBER [--extended] [--open C] [--close C] [--symbol C]\n"
    "                      print NUMBER as a list label in a numbering style\n"
    "  numstr --table      print every numbering style for 1..30\n"
    "  pack ARCHIVE PATH...   pack files and folder trees into an archive\n"
    "  unpack ARCHIVE [DEST] [--flat] [--only PATTERN]\n"
    "  list ARCHIVE           list an archive's members\n"
    "  test ARCHIVE           check every member of an archive\n"
    "  gz [-d|-t] [--level N] [IN [OUT]]\n"
    "                      compress or decompress the stream format (CRC-32 checked)\n"
    "  sha1 [FILE...] | sha1 -c LIST\n"
    "                      print or check SHA-1 digests (sha1sum's format)\n"
    "  seed enc|dec --mode M --key HEX [--iv HEX] [--pad pkcs|none] [IN [OUT]]\n"
    "                      SEED block cipher in ECB, CBC, OFB or CFB mode\n"
    "  rsa enc|dec --public|--private KEYFILE [IN [OUT]]\n"
    "                      RSA (PKCS #1 v1.5) on one block, key as Base64 DER text\n"
    "  ven enc|dec --kind 1|2|3|4|lvo --password-file FILE [IN [OUT]] | ven lvz PASSWORD\n"
    "                      document encryption under a password\n"
    "  send ADDRESS PORT [TEXT]\n"
    "                      send text to a server and print the first line of its reply\n"
    "  help [COMMAND]      show this text, or a command's own\n"
    "  --version           show the version\n"
    "\n"
    "Exit status: 0 on success, 1 when the work fails, 2 on bad usage.\n";

int Help(const Arguments &args) {
  const char *text = kUsage;
  if (args.empty()) {
  } else if (args[0] == "numstr") {
    text = kNumstrUsage;
  } else if (args[0] == "gz") {
    text = kGzUsage;
  } else if (args[0] == "sha1") {
    text = kSha1Usage;
  } else if (args[0] == "seed") {
    text = kSeedUsage;
  } else if (args[0] == "send") {
    text = kSendUsage;
  } else if (args[0] == "ven") {
    text = kVenUsage;
  } else if (args[0] == "rsa") {
    text = kRsaUsage;
  } else if (args[0] == "pack" || args[0] == "unpack" || args[0] == "list" || args[0] == "test") {
    text = kZipUsage;
  } else {
    return Complain(kExitUsage, "no such command: " + args[0]);
  }
  if (std::fputs(text, stdout) == EOF || !FlushOutput()) return Complain(kExitFailure, "standard output: write failed");
  return kExitOk;
}

}  // namespace
}  // namespace ydr::tool

int main(int argc, char **argv) {
  using namespace ydr::tool;
  _LoadYdrBM70DLL();
  // A write past a file-size limit must fail like any other write (and be reported), not
  // end the process half-way through an output.
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  if (argc < 2) {
    Note("%s", kUsage);
    return kExitUsage;
  }
  const std::string command = argv[1];
  const Arguments args(argv + 2, argv + argc);
  if (command == "help" || command == "--help" || command == "-h") return Help(args);
  if (command == "--version") {
    return std::printf("ydr %s\n", YDR_VERSION) > 0 && FlushOutput()
               ? kExitOk
               : Complain(kExitFailure, "standard output: write failed");
  }
  if (command == "numstr") return RunNumstr(args);
  if (command == "gz") return RunGz(args);
  if (command == "sha1") return RunSha1(args);
  if (command == "seed") return RunSeed(args);
  if (command == "rsa") return RunRsa(args);
  if (command == "ven") return RunVen(args);
  if (command == "send") return RunSend(args);
  if (command == "pack" || command == "unpack" || command == "list" || command == "test")
    return RunArchive(command, args);
  Complain(kExitUsage, "unknown command '" + command + "'");
  Note("%s", kUsage);
  return kExitUsage;
}
