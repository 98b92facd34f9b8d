// The TCP connection of one check, opened without blocking the window thread:
// a server name is looked up on a worker (AddressLookup), then the server's
// addresses are tried in turn (SocketDialer); Windows Sockets reports the
// connection, arriving data and errors as window messages. The window's owner
// hands the socket messages, the look-up's message and the connect attempts'
// timer to the On... functions below, which pass what they mean on to the
// check's events.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>

#include "pop3/address_lookup_win32.h"
#include "pop3/connection.h"
#include "pop3/socket_dialer_win32.h"

namespace zepho {

int StartupSockets();  // WSAStartup 1.1; 0 on success
void CleanupSockets();

// Where the transport's notifications go: all to one window.
struct TransportWindow {
  HWND window = nullptr;
  UINT socket_message = 0;       // the sockets' select events
  UINT lookup_message = 0;       // the look-up's outcome
  UINT_PTR attempts_timer = 0;   // the connect attempts' window timer
};

class SocketTransport : public Connection {
 public:
  // `limits` and `lookup_bound_ms` are the program's own bounds unless a test
  // shortens them: an open is bounded by the look-up's bound plus the
  // attempts' (ConnectAttempts).
  explicit SocketTransport(TransportWindow notify, ConnectLimits limits = {},
                           DWORD lookup_bound_ms = kLookupBoundMs)
      : notify_(notify), lookup_(notify.window, notify.lookup_message, lookup_bound_ms),
        dialer_(notify.window, notify.socket_message, notify.attempts_timer, limits) {}
  ~SocketTransport() override { Close(); }
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  std::optional<OpenFailure> Open(const std::string& host, std::int32_t port) override;
  void Close() override;
  void Drop() override;
  void Send(const std::string& bytes) override;

  // A socket message: an attempt's outcome while connecting; then an error,
  // bytes to read, or the server's close (after the bytes still unread).
  // False when it is about no socket of this transport: the window passes it on.
  bool OnSocketEvent(WPARAM wparam, LPARAM lparam, ConnectionEvents& events);
  // The look-up's message; the outcome of a look-up let go is dropped.
  void OnLookupMessage(WPARAM wparam, ConnectionEvents& events);
  // A window timer; false when it is not the connect attempts' timer.
  bool OnTimer(UINT_PTR id, ConnectionEvents& events);

  // The socket of the running check once connected, or INVALID_SOCKET.
  SOCKET SocketHandle() const { return socket_; }
  bool opening() const { return stage_ == Stage::LookingUp || stage_ == Stage::Dialing; }

 private:
  enum class Stage { Idle, LookingUp, Dialing, Connected };
  // Starts the attempts; the failure when none could even start.
  std::optional<OpenFailure> Dial(const std::vector<IpAddress>& addresses);
  // Carries a result of the dialer out to `events`.
  void Dialed(SocketDialer::Result result, ConnectionEvents& events);
  OpenFailure DialFailure() const;
  void Forget(bool close_it);

  TransportWindow notify_;
  AddressLookup lookup_;
  SocketDialer dialer_;
  Stage stage_ = Stage::Idle;
  std::uint16_t port_ = 0;
  bool resolved_ = false;
  SOCKET socket_ = INVALID_SOCKET;
};

// Reads what one FD_READ announces: at most 29,999 bytes. Returns false when
// recv failed; `bytes` empty when nothing was waiting after all.
bool ReceiveChunk(SOCKET s, std::string& bytes);

}  // namespace zepho
