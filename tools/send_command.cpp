// ydr send: a quick check of a text server.
//
// The library's socket client takes a dotted IPv4 address, so a host name is resolved here
// first. A watchdog closes the connection when --timeout passes, which ends a connect or a
// receive that would otherwise wait for good. The reply is read as it arrives, so a server
// that closes without ending its line still has its reply shown.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/ydr_base.h"
#include "platform/utf16.h"
#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/resolve_host.h"
#include "tools/text_output.h"
#include "ydr/socket.h"

namespace ydr::tool {
namespace {

// Closes the socket when the time is up, unless disarmed first.
class Watchdog {
 public:
  Watchdog(CYdrSocket *socket, std::chrono::milliseconds limit)
      : thread_([this, socket, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!wake_.wait_for(lock, limit, [this] { return disarmed_; })) {
            fired_ = true;
            socket->QSClose();  // shuts the connection down: a waiting connect or receive returns
          }
        }) {}
  ~Watchdog() { Disarm(); }
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;
  // Stops the watchdog; true when it had already fired.
  bool Disarm() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      disarmed_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return fired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool disarmed_ = false;
  bool fired_ = false;
  std::thread thread_;
};

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
  } else {
    Input in;
    std::vector<unsigned char> bytes;
    if (!in.Open("-") || !ReadAll(in, &bytes))
      return Complain(kExitFailure, "cannot read standard input: " + in.error());
    text.assign(bytes.begin(), bytes.end());
  }
  std::string address, error;
  if (!Resolve(host, &address, &error)) return Complain(kExitFailure, "cannot find " + Quoted(host) + ": " + error);

  const platform::WString wide_address = platform::WideFromUtf8(address);
  const platform::WString wide = platform::WideFromUtf8(text);
  CYdrSocket socket;
  Watchdog watchdog(&socket, std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
  const std::string where = host + " port " + port_text;
  if (!socket.QSConnect(wide_address.c_str(), std::stoi(port_text))) {
    return Complain(kExitFailure, watchdog.Disarm() ? "no connection to " + where + " within the timeout"
                                                    : "cannot connect to " + where);
  }
  // QSSend counts bytes of the text in the code page.
  const int bytes = wide.empty() ? 1 : YdrUnicodeToAnsi(0, 0, wide.c_str(), -1, nullptr, 0, 0);
  if (bytes <= 0) return Complain(kExitFailure, "the text cannot be converted to the ANSI code page");
  if (bytes > 1 && socket.QSSend(wide.c_str(), bytes - 1) != bytes - 1) {
    socket.QSClose();
    return Complain(kExitFailure, "sending to " + where + " failed");
  }
  // The reply as it comes, up to its first line break or the end of the connection.
  std::string reply;
  std::vector<unsigned short> chunk(4096);
  for (;;) {
    const int n = socket.QSRecv(chunk.data(), static_cast<int>(chunk.size()) - 1);
    if (n <= 0) break;
    reply += platform::Utf8FromWide(platform::WString(chunk.data(), chunk.data() + n));
    if (reply.find('\n') != std::string::npos) break;
  }
  const bool timed_out = watchdog.Disarm();
  socket.QSClose();
  const std::size_t line_end = reply.find('\n');
  if (line_end != std::string::npos) reply.resize(line_end);
  if (!reply.empty() || line_end != std::string::npos) {
    if (!PrintLine(reply) || !FlushOutput()) return Complain(kExitFailure, "cannot write to standard output");
  }
  if (line_end == std::string::npos) {
    return Complain(kExitFailure, timed_out       ? "no whole reply line from " + where + " within the timeout"
                                  : reply.empty() ? "no reply: " + where + " closed the connection"
                                                  : where + " closed the connection before ending its line");
  }
  return kExitOk;
}

}  // namespace

extern const Command kSendCommand = {
    "send",
    "send text to a server and print the first line of its reply",
    "usage: ydr send [--timeout SECONDS] HOST PORT [TEXT]\n",
    "Connects to HOST (a name or a dotted IPv4 address) at PORT, sends TEXT (or standard\n"
    "input) in the ANSI code page (YDR_ANSI_CODEPAGE), and prints the first line of the reply.\n"
    "Nothing is added to the text: end it with a line break if the server reads lines. A reply\n"
    "cut off by the server closing is printed and the exit status is 1.\n"
    "\n"
    "  --timeout S   give up after S seconds, connecting and waiting included (default 10)\n",
    {{"timeout", 0, true}},
    false,
    RunSend,
};

}  // namespace ydr::tool
