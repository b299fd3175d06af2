// ydr send against servers on 127.0.0.1 that misbehave, and timeouts too short for anything.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/tool_run.h"

namespace {

using ydr::test::LoopbackSocket;

TEST(ToolSendTest, TheReplyLineIsTakenAsItsBytesAndBounded) {
  struct Case {
    const char *what;
    std::string reply;  // sent up to `times` times, while the command still takes it
    int times;
    bool hold_open;  // then the connection is kept open until the command closes it
    int exit_status;
    std::string out;
    const char *message;
  };
  const std::vector<Case> cases = {
      {"the first line only", "echo: ping\nmore\n", 1, true, 0, "echo: ping\n", ""},
      {"a zero byte at the start", std::string("\0\n", 2), 1, true, 0, std::string("\0\n", 2), ""},
      {"the line feed alone", "\n", 1, true, 0, "\n", ""},
      {"a line that never ends", std::string(1 << 16, 'x'), 64, true, 1, "", "has no line end within its first 1 MiB"},
      {"closed before the line ends", "no line feed", 1, false, 1, "no line feed\n",
       "closed the connection before ending its line"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int port = 0;
    const LoopbackSocket listener = ydr::test::ListenOnLoopback(&port);
    ASSERT_NE(listener, ydr::test::kNoLoopbackSocket);
    std::thread server([&] {
      const LoopbackSocket fd = ydr::test::AcceptOne(listener);
      char buffer[256];
      static_cast<void>(ydr::test::ReceiveBytes(fd, buffer, sizeof buffer));
      for (int i = 0; i < c.times; ++i) {
        if (ydr::test::SendBytes(fd, c.reply.data(), c.reply.size()) != static_cast<long>(c.reply.size())) break;
      }
      while (c.hold_open && ydr::test::ReceiveBytes(fd, buffer, sizeof buffer) > 0) {
      }
      ydr::test::CloseLoopback(fd);
    });
    // A timeout far longer than any of these takes; the host named once, as well as given.
    const char *host = &c == &cases[0] ? "localhost" : "127.0.0.1";
    const std::string command = "send --timeout 20 " + std::string(host) + " " + std::to_string(port) + " hello";
    ydr::test::ExpectCommand({command, c.exit_status, c.out, c.message});
    server.join();
    ydr::test::CloseLoopback(listener);
  }
}

// More text than the command takes is refused before anything is sent.
TEST(ToolSendTest, FailuresSayWhy) {
  const std::string port = std::to_string(ydr::test::FreeLoopbackPort());
  const ydr::test::CommandCase cases[] = {
      {"send 127.0.0.1 " + port + " x", 1, "", "cannot connect to 127.0.0.1 port " + port + ": "},
      {"send no-such-host.invalid 80 x", 1, "", "cannot find 'no-such-host.invalid'"},
      {"send 127.0.0.1 " + port, 1, "", "standard input holds more than 1 MiB", std::string((1 << 20) + 1, 'x')},
  };
  for (const auto &c : cases) ydr::test::ExpectCommand(c);
}

// A timeout shorter than a connect ends each run at once (a watchdog closing the socket mid-connect
// once hung one run in fifty); a longer one ends the wait for a reply nobody sends.
TEST(ToolSendTest, ATinyTimeoutAlwaysEnds) {
#if defined(_WIN32)
  constexpr int kRuns = 10;  // a process start costs more there
#else
  constexpr int kRuns = 100;
#endif
  int port = 0;
  const LoopbackSocket listener = ydr::test::ListenOnLoopback(&port);  // never accepts
  ASSERT_NE(listener, ydr::test::kNoLoopbackSocket);
  for (int run = 0; run <= kRuns; ++run) {
    const std::string timeout = run < kRuns ? "0.000001" : "0.5";
    ydr::test::ExpectCommand(
        {"send --timeout " + timeout + " 127.0.0.1 " + std::to_string(port) + " x", 1, "", "within the timeout"});
  }
  ydr::test::CloseLoopback(listener);
}

}  // namespace
