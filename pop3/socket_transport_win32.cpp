#include "pop3/socket_transport_win32.h"

#include <windows.h>

#include "net/server_address.h"

namespace zepho {

int StartupSockets() {
  WSADATA data;
  return WSAStartup(0x0101, &data);
}

void CleanupSockets() { WSACleanup(); }

void SocketTransport::Forget(bool close_it) {
  // Whatever of the open is still under way is let go: its late outcome is
  // dropped by the look-up and the dialer.
  lookup_.Cancel();
  dialer_.Cancel();
  stage_ = Stage::Idle;
  if (socket_ == INVALID_SOCKET) return;
  if (close_it) closesocket(socket_);
  // Forgetting the handle makes a second close harmless, and a late message of
  // the old socket no longer matches the current one.
  socket_ = INVALID_SOCKET;
}

std::optional<OpenFailure> SocketTransport::Open(const std::string& host, std::int32_t port) {
  Close();
  port_ = static_cast<std::uint16_t>(port & 0xFFFF);
  resolved_ = false;
  const ServerAddress server = ParseServerAddress(host);
  switch (server.kind) {
    case ServerAddress::Kind::Invalid: return OpenFailure{};
    case ServerAddress::Kind::Literal: return Dial({server.literal});
    case ServerAddress::Kind::Name: break;
  }
  if (!lookup_.Start(server.name)) return OpenFailure{};
  stage_ = Stage::LookingUp;
  return std::nullopt;
}

std::optional<OpenFailure> SocketTransport::Dial(const std::vector<IpAddress>& addresses) {
  stage_ = Stage::Dialing;
  if (dialer_.Begin(addresses, port_) == SocketDialer::Result::Failed) {
    stage_ = Stage::Idle;
    return DialFailure();
  }
  return std::nullopt;
}

OpenFailure SocketTransport::DialFailure() const {
  OpenFailure f;
  switch (dialer_.failure()) {
    case SocketDialer::Failure::NoSocket: f.kind = OpenFailure::Kind::SocketFailed; break;
    case SocketDialer::Failure::OnTheSpot: f.kind = OpenFailure::Kind::ConnectFailed; break;
    case SocketDialer::Failure::Later: f.kind = OpenFailure::Kind::Unreachable; break;
  }
  f.resolved = resolved_;
  f.error = dialer_.error() != 0 ? dialer_.error() : dialer_.timed_out() ? WSAETIMEDOUT : 0;
  return f;
}

void SocketTransport::Dialed(SocketDialer::Result result, ConnectionEvents& events) {
  switch (result) {
    case SocketDialer::Result::NotMine:
    case SocketDialer::Result::Connecting: return;
    case SocketDialer::Result::Connected:
      socket_ = dialer_.TakeConnected();
      stage_ = Stage::Connected;
      events.OnConnected();
      return;
    case SocketDialer::Result::Failed:
      stage_ = Stage::Idle;
      events.OnOpenFailed(DialFailure());
      return;
  }
}

void SocketTransport::OnLookupMessage(WPARAM wparam, ConnectionEvents& events) {
  std::optional<LookupOutcome> outcome = lookup_.Take(wparam);
  if (!outcome || stage_ != Stage::LookingUp) return;
  stage_ = Stage::Idle;
  if (outcome->status == LookupOutcome::Status::Found) {
    resolved_ = true;
    if (std::optional<OpenFailure> failed = Dial(outcome->addresses)) events.OnOpenFailed(*failed);
    return;
  }
  OpenFailure f;
  f.lookup = outcome->status;
  f.error = outcome->error;
  events.OnOpenFailed(f);
}

bool SocketTransport::OnTimer(UINT_PTR id, ConnectionEvents& events) {
  if (id != notify_.attempts_timer) return false;
  // A tick left in the queue after the dial ended is not the dialer's any more.
  if (stage_ == Stage::Dialing) Dialed(dialer_.OnTimer(), events);
  return true;
}

void SocketTransport::Close() {
  if (socket_ != INVALID_SOCKET) shutdown(socket_, SD_BOTH);
  Forget(true);
}

void SocketTransport::Drop() { Forget(true); }

void SocketTransport::Send(const std::string& bytes) {
  if (socket_ == INVALID_SOCKET) return;
  // A failed or short send is left to the reply time-out.
  send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0);
}

bool SocketTransport::OnSocketEvent(WPARAM wparam, LPARAM lparam, ConnectionEvents& events) {
  if (stage_ == Stage::Dialing) {
    const SocketDialer::Result result = dialer_.OnSocketEvent(wparam, lparam);
    if (result == SocketDialer::Result::NotMine) return false;
    Dialed(result, events);
    return true;
  }
  const SOCKET current = socket_;
  if (current == INVALID_SOCKET || static_cast<SOCKET>(wparam) != current) return false;
  if (WSAGETSELECTERROR(lparam) != 0) {
    events.OnSocketError();
    return true;
  }
  switch (WSAGETSELECTEVENT(lparam)) {
    case FD_CONNECT:
      events.OnConnected();
      return true;
    case FD_READ: {
      std::string bytes;
      if (!ReceiveChunk(current, bytes))
        events.OnSocketError();
      else
        events.OnReceived(bytes);
      return true;
    }
    case FD_CLOSE: {
      // The FD_READ messages still in the queue would come after this one:
      // what the server sent before it closed is read (and handled) first.
      std::string bytes;
      while (socket_ == current) {
        if (!ReceiveChunk(current, bytes)) {
          events.OnSocketError();
          return true;
        }
        if (bytes.empty()) break;
        events.OnReceived(bytes);
      }
      if (socket_ == current) events.OnClosed();
      return true;
    }
  }
  return false;
}

bool ReceiveChunk(SOCKET s, std::string& bytes) {
  char chunk[30000];
  const int n = recv(s, chunk, 29999, 0);
  if (n == SOCKET_ERROR) {
    bytes.clear();
    // A notification can be stale: nothing waiting is not an error.
    return WSAGetLastError() == WSAEWOULDBLOCK;
  }
  bytes.assign(chunk, static_cast<size_t>(n));
  return true;
}

}  // namespace zepho
