#include "pop3/socket_transport_win32.h"

#include <windows.h>

namespace zepho {

int StartupSockets() {
  WSADATA data;
  return WSAStartup(0x0101, &data);
}

void CleanupSockets() { WSACleanup(); }

void SocketTransport::Forget(bool close_it) {
  if (socket_ == INVALID_SOCKET) return;
  if (close_it) closesocket(socket_);
  // Forgetting the handle makes a second close harmless, and a late message of
  // the old socket no longer matches the current one.
  socket_ = INVALID_SOCKET;
}

Connection::OpenResult SocketTransport::Open(const std::string& host, std::int32_t port) {
  Close();
  socket_ = socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) return OpenResult::SocketFailed;
  if (WSAAsyncSelect(socket_, notify_, message_,
                     FD_READ | FD_CONNECT | FD_CLOSE) == SOCKET_ERROR) {
    Forget(true);
    return OpenResult::SocketFailed;
  }
  unsigned long address = inet_addr(host.c_str());
  if (address == INADDR_NONE) {
    // Blocks the thread until the look-up ends.
    const hostent* entry = gethostbyname(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
      Forget(true);
      return OpenResult::NoAddress;
    }
    memcpy(&address, entry->h_addr_list[0], 4);
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
  to.sin_addr.s_addr = address;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    Forget(true);
    return OpenResult::ConnectFailed;
  }
  return OpenResult::Ok;
}

void SocketTransport::Close() {
  if (socket_ == INVALID_SOCKET) return;
  shutdown(socket_, SD_BOTH);
  Forget(true);
}

void SocketTransport::Drop() { Forget(true); }

void SocketTransport::Send(const std::string& bytes) {
  if (socket_ == INVALID_SOCKET) return;
  // A failed or short send is left to the reply time-out.
  send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0);
}

bool SocketTransport::OnSocketEvent(WPARAM wparam, LPARAM lparam, ConnectionEvents& events) {
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
