// ydr send: a quick check of a text server.
//
// The text goes out in the ANSI code page, as the library's socket client sends it, and the
// first line of the reply comes back through the same conversion. The command keeps the
// connection itself, on its one thread, so that one deadline (--timeout) bounds the connect,
// the send and the wait for the reply, and a failure can give the system's reason: the
// library's client waits without a limit and reports only that it failed. Host names are
// resolved here (the library's client takes a dotted IPv4 address).
//
// The reply is read as it arrives, up to its first line feed; every byte before it is part
// of the line, a zero byte included. A line longer than kMaxReplyLine is not waited for to
// its end, and the text to send is bounded by kMaxText, so neither side can make the
// command hold more than a few megabytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/ydr_base.h"
#include "portable/utf16.h"
#include "tools/command.h"
#include "tools/connection.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/resolve_host.h"
#include "tools/text_output.h"

namespace ydr::tool {

int MillisecondsLeft(Connection::Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 86400000 ? 86400000 : static_cast<int>(left.count());
}

namespace {

constexpr std::size_t kMaxText = std::size_t{1} << 20;       // what standard input may hold
constexpr std::size_t kMaxReplyLine = std::size_t{1} << 20;  // the longest reply line taken

// Standard input, at most kMaxText bytes; false after saying what went wrong.
bool ReadText(std::string *text) {
  Input in;
  if (!in.Open("-")) return Failed("cannot read standard input: " + in.error());
  char chunk[1 << 16];
  long got;
  while ((got = in.Read(chunk, sizeof chunk)) > 0) {
    if (text->size() + static_cast<std::size_t>(got) > kMaxText) {
      return Failed("standard input holds more than 1 MiB; give a shorter text");
    }
    text->append(chunk, static_cast<std::size_t>(got));
  }
  return got == 0 || Failed("cannot read standard input: " + in.error());
}

// UTF-8 to the ANSI code page and back, as the library's socket client converts: the base
// library converts up to a terminator, so each run of text between zero characters goes on
// its own, into a destination of the size its interface documents ((n + 1) x 4 bytes, or
// (3n + 4) / 2 characters for n bytes); its results are not looked at. A run of text that
// comes back empty could not be converted (a code page the system does not know).
bool ToAnsi(const std::string &utf8, std::string *bytes) {
  bytes->clear();
  for (std::size_t start = 0;; ++start) {
    const std::size_t end = std::min(utf8.find('\0', start), utf8.size());
    const portable::WString wide = portable::WideFromUtf8(std::string_view(utf8).substr(start, end - start));
    std::vector<char> out((wide.size() + 1) * 4, '\0');
    YdrUnicodeToAnsi(0, 0, wide.c_str(), -1, out.data(), static_cast<int>(out.size()), 0);
    const std::size_t length = strnlen(out.data(), out.size());
    if (length == 0 && !wide.empty()) return false;
    bytes->append(out.data(), length);
    if (end == utf8.size()) return true;
    bytes->push_back('\0');
    start = end;
  }
}

std::string FromAnsi(const std::string &bytes) {
  portable::WString wide;
  for (std::size_t start = 0;; ++start) {
    const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
    const std::string run = bytes.substr(start, end - start);
    std::vector<unsigned short> out((3 * run.size() + 4) / 2, 0);
    YdrAnsiToUnicode(0, 0, run.c_str(), -1, out.data(), static_cast<int>(out.size()), 0);
    out.back() = 0;
    wide += out.data();
    if (end == bytes.size()) return portable::Utf8FromWide(wide);
    wide.push_back(0);
    start = end;
  }
}

int RunSend(const ParsedOptions &options) {
  const auto &operands = options.operands();
  if (operands.size() < 2 || operands.size() > 3) {
    return Complain(kExitUsage, "give HOST PORT [TEXT] (see 'ydr send --help')");
  }
  const std::string &host = operands[0];
  const std::string &port_text = operands[1];
  if (port_text.empty() || port_text.size() > 5 || port_text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(port_text) < 1 || std::stoi(port_text) > 65535) {
    return Complain(kExitUsage, "the port is a number from 1 to 65535");
  }
  double seconds = 10;
  if (options.Has("timeout")) {
    char *end = nullptr;
    seconds = std::strtod(options.Value("timeout").c_str(), &end);
    if (end == nullptr || *end != '\0' || !(seconds > 0) || seconds > 86400) {
      return Complain(kExitUsage, "--timeout takes a number of seconds above 0");
    }
  }
  std::string text;
  if (operands.size() == 3) {
    text = operands[2];
  } else if (!ReadText(&text)) {
    return kExitFailure;
  }
  std::string bytes;
  if (!ToAnsi(text, &bytes)) return Complain(kExitFailure, "the text cannot be converted to the ANSI code page");
  std::string address, error;
  if (!Resolve(host, &address, &error)) return Complain(kExitFailure, "cannot find " + Quoted(host) + ": " + error);

  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  const std::string where = host + " port " + port_text;
  Connection connection;
  switch (connection.Connect(address, std::stoi(port_text), deadline)) {
    case Connection::Result::kOk: break;
    case Connection::Result::kTimedOut:
      return Complain(kExitFailure, "no connection to " + where + " within the timeout");
    default: return Complain(kExitFailure, "cannot connect to " + where + ": " + connection.error());
  }
  switch (connection.SendAll(bytes.data(), bytes.size(), deadline)) {
    case Connection::Result::kOk: break;
    case Connection::Result::kTimedOut:
      return Complain(kExitFailure, "sending to " + where + " did not finish within the timeout");
    default: return Complain(kExitFailure, "sending to " + where + " failed: " + connection.error());
  }
  // The reply as it comes, up to its first line feed or the end of the connection. Only
  // the new piece is searched, so a long line costs no more than its length.
  std::string reply;
  std::size_t line_end = std::string::npos;
  Connection::Result received = Connection::Result::kOk;
  char chunk[4096];
  while (line_end == std::string::npos && reply.size() <= kMaxReplyLine) {
    std::size_t got = 0;
    received = connection.Receive(chunk, sizeof chunk, &got, deadline);
    if (received != Connection::Result::kOk) break;
    const std::size_t searched = reply.size();
    reply.append(chunk, got);
    const std::size_t at = reply.find('\n', searched);
    if (at != std::string::npos) line_end = at;
  }
  if (line_end == std::string::npos && reply.size() > kMaxReplyLine) {
    return Complain(kExitFailure, "the reply from " + where + " has no line end within its first 1 MiB");
  }
  if (line_end != std::string::npos) reply.resize(line_end);
  if (!reply.empty() || line_end != std::string::npos) {
    if (!PrintLine(FromAnsi(reply)) || !FlushOutput()) return Complain(kExitFailure, "cannot write to standard output");
  }
  if (line_end != std::string::npos) return kExitOk;
  switch (received) {
    case Connection::Result::kTimedOut:
      return Complain(kExitFailure, "no whole reply line from " + where + " within the timeout");
    case Connection::Result::kFailed:
      return Complain(kExitFailure, "receiving from " + where + " failed: " + connection.error());
    default:
      return Complain(kExitFailure, reply.empty() ? "no reply: " + where + " closed the connection"
                                                  : where + " closed the connection before ending its line");
  }
}

}  // namespace

extern const Command kSendCommand = {
    "send",
    "send text to a server and print the first line of its reply",
    "usage: ydr send [--timeout SECONDS] HOST PORT [TEXT]\n",
    "Connects to HOST (a name or a dotted IPv4 address) at PORT, sends TEXT (or standard\n"
    "input) in the ANSI code page (YDR_ANSI_CODEPAGE), and prints the first line of the reply.\n"
    "Nothing is added to the text: end it with a line break if the server reads lines. A reply\n"
    "cut off by the server closing is printed and the exit status is 1. Standard input and the\n"
    "reply line are taken up to 1 MiB each.\n"
    "\n"
    "  --timeout S   give up after S seconds, connecting and waiting included (default 10)\n",
    {{"timeout", 0, true}},
    false,
    RunSend,
};

}  // namespace ydr::tool
