// ydr: the library's services on the command line.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/command.h"
#include "ydr/ydr.h"

namespace ydr::tool {

int Complain(int status, const std::string &message) {
  std::fprintf(stderr, "ydr: %s\n", message.c_str());
  return status;
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
  if (args.empty()) {
    std::fputs(kUsage, stdout);
  } else if (args[0] == "numstr") {
    std::fputs(kNumstrUsage, stdout);
  } else if (args[0] == "gz") {
    std::fputs(kGzUsage, stdout);
  } else if (args[0] == "sha1") {
    std::fputs(kSha1Usage, stdout);
  } else if (args[0] == "seed") {
    std::fputs(kSeedUsage, stdout);
  } else if (args[0] == "send") {
    std::fputs(kSendUsage, stdout);
  } else if (args[0] == "ven") {
    std::fputs(kVenUsage, stdout);
  } else if (args[0] == "rsa") {
    std::fputs(kRsaUsage, stdout);
  } else if (args[0] == "pack" || args[0] == "unpack" || args[0] == "list" || args[0] == "test") {
    std::fputs(kZipUsage, stdout);
  } else {
    return Complain(kExitUsage, "no such command: " + args[0]);
  }
  return kExitOk;
}

}  // namespace
}  // namespace ydr::tool

int main(int argc, char **argv) {
  using namespace ydr::tool;
  _LoadYdrBM70DLL();
  // A write past a file-size limit must fail like any other write (and be reported), not
  // end the process half-way through an output.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  const Arguments args(argv + 2, argv + argc);
  if (command == "help" || command == "--help" || command == "-h") return Help(args);
  if (command == "--version") {
    std::printf("ydr %s\n", YDR_VERSION);
    return kExitOk;
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
  std::fputs(kUsage, stderr);
  return kExitUsage;
}
