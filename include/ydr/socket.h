// A small TCP client for exchanging text with a server (C++ only). Text is UTF-16 in
// unsigned 16-bit units; ydr/utf8.h converts from UTF-8 (examples/socket_client.cpp is a
// whole program):
//
//   const ydr::Utf16String address = ydr::Utf16FromUtf8("127.0.0.1");  // dotted IPv4, not a name
//   const ydr::Utf16String text = ydr::Utf16FromUtf8("hello\n");
//   unsigned short reply[256];
//   CYdrSocket s;
//   if (s.QSConnect(address.c_str(), 7000)) {
//     s.QSSend(text.c_str(), static_cast<int>(text.size()));  // ASCII: one byte per unit
//     s.QSRecv(reply, 256, 1);                                 // one line, line feed included
//     s.QSClose();
//   }
//
// QSSend(text, length) converts the text once and sends exactly `length` bytes of its 8-bit
// form (no terminator, no framing), repeating the send until all are out; `length` may not
// exceed that form's length. It returns `length`, or 0 (also for length 0).
// QSRecv(buffer, size) receives once, at most `size` bytes, and hands them back as wide
// characters up to the first zero byte: `buffer` must hold size + 1 units.
// QSRecv(buffer, size, lines) receives byte by byte until `lines` line feeds have arrived or
// size - 1 bytes have been taken: `buffer` must hold size units.
// Both return the number of characters placed (before the terminator), or 0 on failure or
// when the peer has closed the connection. Nothing raises SIGPIPE.
//
// The destructor does not close the connection: call QSClose first. It ends one use of
// Windows Sockets (WSACleanup), whether or not the object connected. The object keeps its
// socket's number after QSClose; copies share the socket. An object that holds no open
// socket of its own (new, closed, or after a failed connection) closes nothing, even when
// the system has since given its number to another socket.
//
// An object is used by one thread at a time; different objects may be used on different
// threads at once.
#ifndef YDR_SOCKET_H
#define YDR_SOCKET_H

#include "ydr/api.h"

// The internal results of the protected operations.
#define YDR_SOCKET_OK 701
#define YDR_SOCKET_NO_SOCKET 702
#define YDR_SOCKET_NOT_CONNECTED 703
#define YDR_SOCKET_SEND_FAILED 704
#define YDR_SOCKET_RECV_FAILED 705

#ifdef __cplusplus
class YDR_API CYdrSocket {
 public:
  CYdrSocket();
  ~CYdrSocket();
  CYdrSocket &operator=(const CYdrSocket &other);
  int QSConnect(const unsigned short *address, int port);  // 1 or 0
  int QSSend(const unsigned short *text, int length);
  int QSRecv(unsigned short *buffer, int size);
  int QSRecv(unsigned short *buffer, int size, int lines);
  void QSClose();

 protected:
  int _QSocketInit();                                      // a new socket: 701 or 702
  int _Connect(const unsigned short *address, int port);   // 701 or 703 (socket closed)
  int _Send(const unsigned short *text, int length);       // length, 0, or 704
  int _Recv(unsigned short *buffer, int size);             // characters, or 705
  int _Recv(unsigned short *buffer, int size, int lines);  // characters, or 705
  void _Close();

 private:
  unsigned int socket_;  // the socket as the system numbers it; 0 in a new object
};
#endif

#endif  // YDR_SOCKET_H
