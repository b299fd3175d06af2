// The socket client against a server thread on 127.0.0.1 that controls what arrives and when the peer closes.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <winsock2.h>
#endif

#include <cstring>
#include <string>
#include <thread>

#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"
#include "ydr/socket.h"

namespace {

using ydr::test::LoopbackSocket;
using Wide = std::u16string;
const unsigned short *W16(const Wide &s) { return reinterpret_cast<const unsigned short *>(s.c_str()); }
Wide FromBuffer(const unsigned short *b, int n) { return {reinterpret_cast<const char16_t *>(b), std::size_t(n)}; }

void SendAll(LoopbackSocket fd, const std::string &bytes) {
  ASSERT_EQ(ydr::test::SendBytes(fd, bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
}

// `size` bytes, or fewer when the peer closes first.
std::string Receive(LoopbackSocket fd, std::size_t size = std::string::npos) {
  std::string got;
  char chunk[65536];
  long n = 0;
  while (got.size() < size && (n = ydr::test::ReceiveBytes(fd, chunk, std::min(sizeof chunk, size - got.size()))) > 0)
    got.append(chunk, static_cast<std::size_t>(n));
  return got;
}

// Both receive forms, in the default and in a configured code page, then a peer that closes mid-line. The
// server's end is served on this thread: the system queues the connection and the bytes.
TEST(SocketTest, ExchangesUntilThePeerCloses) {
  const Wide text = u"한글 text";
  const std::string cp949 = "\xC7\xD1\xB1\xDB text";  // two bytes per syllable
  int port = 0;
  const LoopbackSocket listener = ydr::test::ListenOnLoopback(&port);
  CYdrSocket socket;
  ASSERT_EQ(socket.QSConnect(W16(u"127.0.0.1"), port), 1);
  const LoopbackSocket server = ydr::test::AcceptOne(listener);
  ydr::test::CloseLoopback(listener);
  EXPECT_EQ(socket.QSSend(W16(u"hello world"), 5), 5);
  EXPECT_EQ(Receive(server, 5), "hello");  // exactly the bytes, no terminator
  SendAll(server, "abc");
  unsigned short buffer[128];
  std::fill(std::begin(buffer), std::end(buffer), 0xEEEE);
  EXPECT_EQ(socket.QSRecv(buffer, 8), 3);
  EXPECT_EQ(FromBuffer(buffer, 5), Wide(u"abc\0\xEEEE", 5));
  {
    ydr::test::ScopedEnv code_page("YDR_ANSI_CODEPAGE", "CP949");
    const int length = static_cast<int>(cp949.size());  // bytes of the converted text, not its units
    EXPECT_EQ(socket.QSSend(W16(text), length), length);
    EXPECT_EQ(Receive(server, cp949.size()), cp949);
    SendAll(server, cp949 + "\nabcdefghij\npartial line without its end");
    ydr::test::CloseLoopback(server);
    EXPECT_EQ(socket.QSRecv(buffer, 64, 1), static_cast<int>(text.size()) + 1);
    EXPECT_EQ(FromBuffer(buffer, static_cast<int>(text.size()) + 1), text + u"\n");
  }
  // A line longer than the buffer: size - 1 bytes are taken, then the terminator.
  std::fill(std::begin(buffer), std::end(buffer), 0xEEEE);
  EXPECT_EQ(socket.QSRecv(buffer, 5, 1), 4);
  EXPECT_EQ(FromBuffer(buffer, 6), Wide(u"abcd\0\xEEEE", 6));
  EXPECT_EQ(socket.QSRecv(buffer, 128, 1), 7);
  EXPECT_EQ(socket.QSRecv(buffer, 128, 1), 0);  // the line never ends
  EXPECT_EQ(socket.QSRecv(buffer, 128), 0);     // closed
  // Sending into a closed connection fails without a signal.
  const Wide chunk(1 << 16, u'x');
  int result = 1;
  for (int i = 0; i < 64 && result != 0; ++i) result = socket.QSSend(W16(chunk), static_cast<int>(chunk.size()));
  EXPECT_EQ(result, 0);
  socket.QSClose();
}

// Send lengths, refused connections, bad arguments, and the object's one field: the system's socket number.
TEST(SocketTest, SendsFailuresAndTheStoredSocket) {
  const auto stored = [](const CYdrSocket &object) {
    unsigned int field = 0xA5A5A5A5u;
    std::memcpy(&field, reinterpret_cast<const unsigned char *>(&object), sizeof field);  // its first bytes
    return field;
  };
  std::string large(3 << 20, 'a');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);
  std::string received;
  {  // two objects, one connection, both ended after the server has read everything
    CYdrSocket socket, copy;
    int port = 0;
    const LoopbackSocket listener = ydr::test::ListenOnLoopback(&port);
    EXPECT_EQ(stored(socket), 0u);
    socket.QSClose();
    EXPECT_TRUE(ydr::test::DescriptorIsOpen(0));  // standard input
    ASSERT_EQ(socket.QSConnect(W16(u"127.0.0.1"), port), 1);
    const LoopbackSocket server = ydr::test::AcceptOne(listener);
    std::thread reader([&] { received = Receive(server); });
    const unsigned int number = stored(socket);
    EXPECT_TRUE(ydr::test::IsOpenSocket(static_cast<LoopbackSocket>(number)));
    EXPECT_EQ(socket.QSSend(W16(u"abc"), 0), 0);
    EXPECT_EQ(socket.QSSend(W16(u"abc"), -1), 0);
    EXPECT_EQ(socket.QSSend(nullptr, 3), 0);
    EXPECT_EQ(socket.QSSend(W16(u"abc"), 2), 2);
    // The length may take in the converted text's terminator, but no more.
    EXPECT_EQ(socket.QSSend(W16(u"abc"), 5), 0);
    EXPECT_EQ(socket.QSSend(W16(u"abc"), 4), 4);
    const int length = static_cast<int>(large.size()) - 10;
    EXPECT_EQ(socket.QSSend(W16(Wide(large.begin(), large.end())), length), length);
    copy = socket;
    EXPECT_EQ(stored(copy), number);
    socket.QSClose();
    EXPECT_EQ(stored(socket), number);
    EXPECT_EQ(stored(copy), number);
    EXPECT_FALSE(ydr::test::IsOpenSocket(static_cast<LoopbackSocket>(number)));
    // A socket opened after the close may get the same number; closing again leaves it.
    int other_port = 0;
    const LoopbackSocket other = ydr::test::ListenOnLoopback(&other_port);
    socket.QSClose();
    copy.QSClose();
    EXPECT_TRUE(ydr::test::IsOpenSocket(other));
    reader.join();
    for (const LoopbackSocket s : {server, listener, other}) ydr::test::CloseLoopback(s);
  }
  EXPECT_TRUE(received == std::string("ababc\0", 6) + large.substr(0, large.size() - 10)) << received.size();
  CYdrSocket refused;
  EXPECT_EQ(refused.QSConnect(W16(u"127.0.0.1"), ydr::test::FreeLoopbackPort()), 0);  // nothing listens
  EXPECT_EQ(refused.QSConnect(W16(u"not an address"), 80), 0);
  EXPECT_EQ(refused.QSConnect(nullptr, 80), 0);
  unsigned short buffer[8];
  EXPECT_EQ(refused.QSSend(W16(u"x"), 1), 0);
  EXPECT_EQ(refused.QSRecv(buffer, 8), 0);
  EXPECT_EQ(refused.QSRecv(buffer, 8, 1), 0);
  refused.QSClose();
}

#if defined(_WIN32)
// A connection starts one use of Windows Sockets and the destructor ends one, connected or not.
TEST(SocketTest, ObjectsStartAndEndUsesOfWindowsSockets) {
  const auto system_gives_sockets = [] {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool gives = s != INVALID_SOCKET || WSAGetLastError() != WSANOTINITIALISED;
    if (s != INVALID_SOCKET) closesocket(s);
    return gives;
  };
  while (WSACleanup() == 0) {
  }
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  { const CYdrSocket never_connected; }
  EXPECT_FALSE(system_gives_sockets());
  {
    CYdrSocket socket;
    EXPECT_EQ(socket.QSConnect(W16(u"not an address"), 80), 0);
    EXPECT_TRUE(system_gives_sockets());
  }
  EXPECT_FALSE(system_gives_sockets());
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);  // for the tests that follow
}
#endif

}  // namespace
