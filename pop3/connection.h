// The connection of one check, as the check cycle sees it: opened, written to
// and closed through Connection; what happens on it comes back through
// ConnectionEvents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zepho {

class Connection {
 public:
  enum class OpenResult { Ok = 0, SocketFailed = 1, NoAddress = 2, ConnectFailed = 3 };
  virtual ~Connection() = default;
  // Starts connecting without waiting; Ok when the connection is under way.
  virtual OpenResult Open(const std::string& host, std::int32_t port) = 0;
  virtual void Close() = 0;  // shutdown and close; harmless when closed
  virtual void Drop() = 0;   // close without shutdown, after a socket error
  virtual void Send(const std::string& bytes) = 0;
};

class ConnectionEvents {
 public:
  virtual ~ConnectionEvents() = default;
  virtual void OnConnected() = 0;
  virtual void OnReceived(std::string_view bytes) = 0;
  // The connection failed, or a receive did.
  virtual void OnSocketError() = 0;
  // The server closed the connection; every byte it sent before has come.
  virtual void OnClosed() = 0;
};

}  // namespace zepho
