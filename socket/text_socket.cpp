// CYdrSocket over the system's sockets (platform/stream_socket.h). The object's one field
// holds the socket plus one, so that 0 means "no socket" (descriptor 0 is standard input
// on POSIX), and it is cleared when the socket is closed: a descriptor number is reused at
// once on POSIX, and closing it twice could close someone else's file.
#include <cstring>
#include <utility>
#include <vector>

#include "frame/base_services.h"
#include "platform/guarded_call.h"
#include "platform/stream_socket.h"
#include "platform/winsock.h"
#include "ydr/socket.h"

namespace {

constexpr unsigned short kWinsockVersion = 0x0101;

long long Descriptor(unsigned int field) { return static_cast<long long>(field) - 1; }

// The text in the ANSI code page, terminator included; empty on failure.
std::vector<char> ToAnsi(const unsigned short *text) {
  const int needed = ydr::bl::YdrUnicodeToAnsi(0, 0, text, -1, nullptr, 0, 0);
  if (needed <= 0) return {};
  std::vector<char> bytes(static_cast<std::size_t>(needed));
  if (ydr::bl::YdrUnicodeToAnsi(0, 0, text, -1, bytes.data(), needed, 0) <= 0) return {};
  return bytes;
}

// Received bytes (zero-terminated) to wide characters in a buffer of `capacity` units;
// the number of characters before the terminator.
int ToWide(const char *bytes, unsigned short *buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = 0;
  const int written = ydr::bl::YdrAnsiToUnicode(0, 0, bytes, -1, buffer, capacity, 0);
  if (written <= 0) return 0;
  int n = 0;
  while (n < capacity && buffer[n] != 0) ++n;
  return n;
}

}  // namespace

CYdrSocket::CYdrSocket() : socket_(0) {}

CYdrSocket::~CYdrSocket() {
  ydr::platform::WSACleanup();
  socket_ = 0;
}

CYdrSocket &CYdrSocket::operator=(const CYdrSocket &other) {
  socket_ = other.socket_;
  return *this;
}

int CYdrSocket::_QSocketInit() {
  ydr::platform::WSAStartup(kWinsockVersion);
  // A socket stored before is replaced, not closed: closing it is the caller's part.
  const long long fd = ydr::platform::OpenStreamSocket();
  // Kept plus one, so that the record's zero means no socket.
  socket_ = fd < 0 || fd >= 0xFFFFFFFFll ? 0 : static_cast<unsigned int>(fd + 1);
  return fd < 0 ? YDR_SOCKET_NO_SOCKET : YDR_SOCKET_OK;
}

int CYdrSocket::_Connect(const unsigned short *address, int port) {
  const std::vector<char> text = ydr::platform::GuardedCall(
      std::vector<char>{}, [&] { return address != nullptr ? ToAnsi(address) : std::vector<char>{}; });
  std::uint32_t ip = 0;
  const bool valid = !text.empty() && ydr::platform::ParseIpv4Address(text.data(), &ip);
  const long long fd = Descriptor(socket_);
  if (!valid || fd < 0 || !ydr::platform::ConnectStream(fd, ip, static_cast<std::uint16_t>(port))) {
    _Close();
    return YDR_SOCKET_NOT_CONNECTED;
  }
  return YDR_SOCKET_OK;
}

int CYdrSocket::QSConnect(const unsigned short *address, int port) {
  if (_QSocketInit() != YDR_SOCKET_OK) return 0;
  return _Connect(address, port) == YDR_SOCKET_OK ? 1 : 0;
}

namespace {

// The operations on a descriptor, with -1 for failure: a count of 704 or 705 characters is
// a success, which the protected operations' result codes cannot tell apart.
int SendText(long long fd, const unsigned short *text, int length) {
  if (length == 0) return 0;
  if (length < 0 || text == nullptr || fd < 0) return -1;
  // Converted once, terminator included; `length` counts bytes of that converted text, so
  // it may reach the terminator (QSSend(L"abc", 4) sends a, b, c and the zero byte).
  const std::vector<char> bytes = ToAnsi(text);
  if (bytes.empty() || static_cast<std::size_t>(length) > bytes.size()) return -1;
  std::size_t sent = 0;
  while (sent < static_cast<std::size_t>(length)) {
    const long n = ydr::platform::SendSome(fd, bytes.data() + sent, static_cast<std::size_t>(length) - sent);
    if (n <= 0) return -1;
    sent += static_cast<std::size_t>(n);
  }
  return length;
}

// The operations allocate (conversion buffers): out of memory, they fail like any other
// failure of the call.
template <class Body>
int Guarded(Body &&body) {
  return ydr::platform::GuardedCall(-1, std::forward<Body>(body));
}

int ReceiveOnce(long long fd, unsigned short *buffer, int size) {
  if (size <= 0 || buffer == nullptr || fd < 0) return -1;
  std::vector<char> bytes(static_cast<std::size_t>(size) + 1, 0);
  const long n = ydr::platform::ReceiveSome(fd, bytes.data(), static_cast<std::size_t>(size));
  if (n <= 0) return -1;  // an error, or the peer closed the connection
  return ToWide(bytes.data(), buffer, size + 1);
}

int ReceiveLines(long long fd, unsigned short *buffer, int size, int lines) {
  if (lines <= 0 || size <= 0 || buffer == nullptr || fd < 0) return -1;
  // The whole text stays within size - 1 bytes, so that it and its terminator fit.
  std::vector<char> bytes(static_cast<std::size_t>(size), 0);
  std::size_t taken = 0;
  for (int seen = 0; seen < lines && taken + 1 < bytes.size();) {
    char c;
    if (ydr::platform::ReceiveSome(fd, &c, 1) <= 0) return -1;
    bytes[taken++] = c;
    if (c == '\n') ++seen;
  }
  return ToWide(bytes.data(), buffer, size);
}

}  // namespace

int CYdrSocket::_Send(const unsigned short *text, int length) {
  const int result = Guarded([&] { return SendText(Descriptor(socket_), text, length); });
  return result < 0 ? YDR_SOCKET_SEND_FAILED : result;
}

int CYdrSocket::QSSend(const unsigned short *text, int length) {
  const int result = Guarded([&] { return SendText(Descriptor(socket_), text, length); });
  return result < 0 ? 0 : result;
}

int CYdrSocket::_Recv(unsigned short *buffer, int size) {
  const int result = Guarded([&] { return ReceiveOnce(Descriptor(socket_), buffer, size); });
  return result < 0 ? YDR_SOCKET_RECV_FAILED : result;
}

int CYdrSocket::_Recv(unsigned short *buffer, int size, int lines) {
  const int result = Guarded([&] { return ReceiveLines(Descriptor(socket_), buffer, size, lines); });
  return result < 0 ? YDR_SOCKET_RECV_FAILED : result;
}

int CYdrSocket::QSRecv(unsigned short *buffer, int size) {
  const int result = Guarded([&] { return ReceiveOnce(Descriptor(socket_), buffer, size); });
  return result < 0 ? 0 : result;
}

int CYdrSocket::QSRecv(unsigned short *buffer, int size, int lines) {
  const int result = Guarded([&] { return ReceiveLines(Descriptor(socket_), buffer, size, lines); });
  return result < 0 ? 0 : result;
}

void CYdrSocket::_Close() {
  const long long fd = Descriptor(socket_);
  if (fd < 0) return;  // nothing of ours to close
  ydr::platform::CloseStream(fd);
  socket_ = 0;
}

void CYdrSocket::QSClose() { _Close(); }
