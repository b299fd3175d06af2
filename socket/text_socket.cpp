// CYdrSocket over the system's sockets (platform/stream_socket.h). The object's one field
// holds the socket as the system numbers it, 0 in a new object; closing leaves it there, so
// copies and the object's bytes keep showing which socket it was. Closing a number that is
// not an open socket of this library is the platform layer's to refuse (descriptor 0 is
// standard input on POSIX, and a closed descriptor's number is reused at once).
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "imports/base_services.h"
#include "platform/sockets.h"
#include "portable/guarded_call.h"
#include "portable/utf16.h"
#include "ydr/socket.h"

namespace {

constexpr unsigned short kWinsockVersion = 0x0101;

// The field's value as the platform's socket number (the all-ones value is no socket).
long long Descriptor(unsigned int field) { return field == 0xFFFFFFFFu ? -1 : static_cast<long long>(field); }

// The text in the ANSI code page, terminator included. The base library is given a
// destination of (characters + 1) x 4 bytes, the most any code page needs, and its result
// is not looked at: what it wrote is the text up to its terminator.
std::vector<char> ToAnsi(const unsigned short *text) {
  const std::size_t capacity = (ydr::portable::WideLength(text) + 1) * 4;
  std::vector<char> bytes(capacity, '\0');
  ydr::bl::YdrUnicodeToAnsi(0, 0, text, -1, bytes.data(), static_cast<int>(capacity), 0);
  bytes.resize(strnlen(bytes.data(), capacity - 1) + 1);
  bytes.back() = '\0';
  return bytes;
}

// Received bytes (zero-terminated) to wide characters in `buffer` of `capacity` units; the
// number of characters before the terminator. The base library converts into a buffer of
// (3n + 4) / 2 characters for n bytes, which any code page's text fits; its result is not
// looked at either.
int ToWide(const char *bytes, unsigned short *buffer, int capacity) {
  if (capacity <= 0) return 0;
  const std::size_t n = std::strlen(bytes);
  std::vector<unsigned short> wide((3 * n + 4) / 2, 0);
  ydr::bl::YdrAnsiToUnicode(0, 0, bytes, -1, wide.data(), static_cast<int>(wide.size()), 0);
  const std::size_t length = std::min(ydr::portable::WideLength(wide.data()), static_cast<std::size_t>(capacity) - 1);
  std::memcpy(buffer, wide.data(), length * sizeof(unsigned short));
  buffer[length] = 0;
  return static_cast<int>(length);
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
  socket_ = fd < 0 || fd >= 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<unsigned int>(fd);
  return fd < 0 ? YDR_SOCKET_NO_SOCKET : YDR_SOCKET_OK;
}

int CYdrSocket::_Connect(const unsigned short *address, int port) {
  const std::vector<char> text = ydr::portable::GuardedCall(
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
  return ydr::portable::GuardedCall(-1, std::forward<Body>(body));
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

// The stored number stays: it names a closed socket from now on.
void CYdrSocket::_Close() {
  const long long fd = Descriptor(socket_);
  if (fd >= 0) ydr::platform::CloseStream(fd);
}

void CYdrSocket::QSClose() { _Close(); }
