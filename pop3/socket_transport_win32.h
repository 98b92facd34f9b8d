// The TCP connection of one check, non-blocking: Windows Sockets reports the
// connection, arriving data and errors as a window message of the caller's
// choosing, which the window hands to OnSocketEvent.
#pragma once

#include <winsock2.h>

#include <string>

#include "pop3/connection.h"

namespace zepho {

int StartupSockets();  // WSAStartup 1.1; 0 on success
void CleanupSockets();

class SocketTransport : public Connection {
 public:
  // The socket's events come to `notify` as `message`.
  SocketTransport(HWND notify, UINT message) : notify_(notify), message_(message) {}
  ~SocketTransport() override { Close(); }
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  OpenResult Open(const std::string& host, std::int32_t port) override;
  void Close() override;
  void Drop() override;
  void Send(const std::string& bytes) override;

  // One event message: an error, the connection made, bytes to read, or the
  // server's close (after the bytes still unread), passed on to `events`.
  // False when it is not about the current socket: the window passes it on.
  bool OnSocketEvent(WPARAM wparam, LPARAM lparam, ConnectionEvents& events);

  // The socket of the running check, or INVALID_SOCKET.
  SOCKET SocketHandle() const { return socket_; }

 private:
  void Forget(bool close_it);

  HWND notify_;
  UINT message_;
  SOCKET socket_ = INVALID_SOCKET;
};

// Reads what one FD_READ announces: at most 29,999 bytes. Returns false when
// recv failed; `bytes` empty when nothing was waiting after all.
bool ReceiveChunk(SOCKET s, std::string& bytes);

}  // namespace zepho
