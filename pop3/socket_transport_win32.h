// The TCP connection of one check, non-blocking: Windows Sockets reports the
// connection, arriving data and errors as MSG_SOCKET messages to a window.
#pragma once

#include <winsock2.h>

#include <string>

#include "app/check_cycle.h"

namespace zepho {

int StartupSockets();  // WSAStartup 1.1; 0 on success
void CleanupSockets();

class SocketTransport : public Connection {
 public:
  explicit SocketTransport(HWND notify) : notify_(notify) {}
  ~SocketTransport() override { Close(); }

  OpenResult Open(const std::string& host, std::int32_t port) override;
  void Close() override;
  void Drop() override;
  void Send(const std::string& bytes) override;

  // The socket of the running check, or INVALID_SOCKET.
  SOCKET SocketHandle() const { return socket_; }

 private:
  void Forget(bool close_it);

  HWND notify_;
  SOCKET socket_ = INVALID_SOCKET;
};

// Reads what one FD_READ announces: at most 29,999 bytes. Returns false when
// recv failed; `bytes` empty when nothing was waiting after all.
bool ReceiveChunk(SOCKET s, std::string& bytes);

}  // namespace zepho
