// ydr send: a quick check of a text server.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ydr_base.h"
#include "platform/utf16.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/text_output.h"
#include "ydr/socket.h"

namespace ydr::tool {

const char kSendUsage[] =
    "usage: ydr send ADDRESS PORT [TEXT]\n"
    "\n"
    "Connects to ADDRESS (a dotted IPv4 address) at PORT, sends TEXT (or standard input) in\n"
    "the ANSI code page (YDR_ANSI_CODEPAGE), and prints the first line of the reply. Nothing is\n"
    "added to the text: end it with a line break if the server reads lines.\n";

int RunSend(const Arguments &args) {
  if (args.size() < 2 || args.size() > 3) return Complain(kExitUsage, "give ADDRESS PORT [TEXT] (see 'ydr help send')");
  int port = 0;
  try {
    std::size_t used = 0;
    port = std::stoi(args[1], &used);
    if (used != args[1].size() || port < 1 || port > 65535) throw std::invalid_argument("port");
  } catch (const std::exception &) {
    return Complain(kExitUsage, "the port is a number from 1 to 65535");
  }
  std::string text;
  if (args.size() == 3) {
    text = args[2];
  } else {
    Input in;
    if (!in.Open("-")) return Complain(kExitFailure, in.error());
    char chunk[4096];
    long got;
    while ((got = in.Read(chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
    if (got < 0) return Complain(kExitFailure, "standard input: " + in.error());
  }
  const platform::WString address = platform::WideFromUtf8(args[0]);
  const platform::WString wide = platform::WideFromUtf8(text);

  CYdrSocket socket;
  if (!socket.QSConnect(address.c_str(), port)) {
    return Complain(kExitFailure, "cannot connect to " + args[0] + " port " + args[1]);
  }
  // QSSend counts bytes of the text in the code page.
  const int bytes = wide.empty() ? 1 : YdrUnicodeToAnsi(0, 0, wide.c_str(), -1, nullptr, 0, 0);
  if (bytes <= 0) return Complain(kExitFailure, "the text cannot be converted to the ANSI code page");
  if (bytes > 1 && socket.QSSend(wide.c_str(), bytes - 1) != bytes - 1) {
    socket.QSClose();
    return Complain(kExitFailure, "sending failed");
  }
  std::vector<unsigned short> reply(65536);
  const int n = socket.QSRecv(reply.data(), static_cast<int>(reply.size()), 1);
  socket.QSClose();
  if (n <= 0) return Complain(kExitFailure, "no reply: the server closed the connection");
  const std::string line = platform::Utf8FromWide(platform::WString(reply.data(), reply.data() + n));
  const bool written = PrintLine(line.empty() || line.back() != '\n' ? line : line.substr(0, line.size() - 1));
  return written && FlushOutput() ? kExitOk : Complain(kExitFailure, "standard output: write failed");
}

}  // namespace ydr::tool
