#include "pop3/socket_dialer_win32.h"

#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace zepho {

namespace {

int AddressOf(const IpAddress& ip, std::uint16_t port, sockaddr_storage& to) {
  to = {};
  if (ip.family == IpAddress::Family::V4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&to);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    std::memcpy(&in->sin_addr, ip.bytes.data(), 4);
    return sizeof(sockaddr_in);
  }
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&to);
  in6->sin6_family = AF_INET6;
  in6->sin6_port = htons(port);
  std::memcpy(&in6->sin6_addr, ip.bytes.data(), 16);
  in6->sin6_scope_id = ip.scope_id;
  return sizeof(sockaddr_in6);
}

// An error to report when the system gave none.
int ErrorOr(int error, int otherwise) { return error != 0 ? error : otherwise; }

}  // namespace

SocketDialer::Result SocketDialer::Begin(const std::vector<IpAddress>& addresses,
                                         std::uint16_t port) {
  Cancel();
  port_ = port;
  error_ = 0;
  timed_out_ = false;
  went_out_ = refused_here_ = false;
  address_ = {};
  active_ = true;
  DialActions first = attempts_.Begin(addresses, limits_);
  sockets_.assign(attempts_.order().size(), INVALID_SOCKET);
  return Run(std::move(first));
}

int SocketDialer::Open(std::size_t attempt, const IpAddress& address) {
  const SOCKET s =
      socket(address.family == IpAddress::Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  // No socket of this family (a system without IPv6): the next address.
  if (s == INVALID_SOCKET) return ErrorOr(WSAGetLastError(), WSAEAFNOSUPPORT);
  if (WSAAsyncSelect(s, notify_, message_, FD_READ | FD_CONNECT | FD_CLOSE) == SOCKET_ERROR) {
    const int error = ErrorOr(WSAGetLastError(), WSAENOTSOCK);
    closesocket(s);
    return error;
  }
  sockaddr_storage to;
  const int len = AddressOf(address, port_, to);
  if (connect(s, reinterpret_cast<const sockaddr*>(&to), len) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      closesocket(s);
      refused_here_ = true;
      return ErrorOr(error, WSAECONNREFUSED);
    }
  }
  went_out_ = true;
  sockets_[attempt] = s;
  return 0;
}

void SocketDialer::CloseAttempt(std::size_t attempt) {
  if (attempt >= sockets_.size() || sockets_[attempt] == INVALID_SOCKET) return;
  closesocket(sockets_[attempt]);
  sockets_[attempt] = INVALID_SOCKET;
}

SocketDialer::Result SocketDialer::Run(DialActions actions) {
  Result result = Result::Connecting;
  // A Start that fails on the spot is reported once its batch is carried out.
  std::deque<std::pair<std::size_t, int>> failed;
  while (true) {
    for (const DialAction& a : actions) {
      switch (a.kind) {
        case DialAction::Kind::Start:
          if (const int error = Open(a.attempt, a.address)) failed.push_back({a.attempt, error});
          break;
        case DialAction::Kind::Abandon: CloseAttempt(a.attempt); break;
        case DialAction::Kind::ArmTimer:
          SetTimer(notify_, timer_id_, a.ms, nullptr);
          timer_running_ = true;
          break;
        case DialAction::Kind::StopTimer:
          KillTimer(notify_, timer_id_);
          timer_running_ = false;
          break;
        case DialAction::Kind::Connected:
          connected_ = sockets_[a.attempt];
          sockets_[a.attempt] = INVALID_SOCKET;
          address_ = attempts_.order()[a.attempt];
          active_ = false;
          result = Result::Connected;
          break;
        case DialAction::Kind::Failed:
          error_ = a.error;
          timed_out_ = a.timed_out;
          active_ = false;
          result = Result::Failed;
          break;
      }
    }
    if (failed.empty()) break;
    const auto [attempt, error] = failed.front();
    failed.pop_front();
    address_ = attempts_.order()[attempt];
    actions = attempts_.OnFailed(attempt, error);
  }
  if (!active_ && timer_running_) {
    KillTimer(notify_, timer_id_);
    timer_running_ = false;
  }
  return result;
}

SocketDialer::Result SocketDialer::OnSocketEvent(WPARAM wparam, LPARAM lparam) {
  if (!active_) return Result::NotMine;
  const auto s = static_cast<SOCKET>(wparam);
  const auto it = std::find(sockets_.begin(), sockets_.end(), s);
  if (s == INVALID_SOCKET || it == sockets_.end()) return Result::NotMine;
  const std::size_t attempt = static_cast<std::size_t>(it - sockets_.begin());
  const int event = WSAGETSELECTEVENT(lparam);
  const int error = WSAGETSELECTERROR(lparam);
  if (event == FD_CONNECT && error == 0) return Run(attempts_.OnConnected(attempt));
  if (event == FD_CONNECT || event == FD_CLOSE) {
    CloseAttempt(attempt);
    address_ = attempts_.order()[attempt];
    return Run(attempts_.OnFailed(attempt, ErrorOr(error, WSAECONNRESET)));
  }
  return Result::Connecting;
}

SocketDialer::Result SocketDialer::OnTimer() {
  if (!active_) return Result::NotMine;
  // A window timer repeats: each arming is due once.
  KillTimer(notify_, timer_id_);
  timer_running_ = false;
  return Run(attempts_.OnTimer());
}

void SocketDialer::Cancel() {
  active_ = false;
  if (timer_running_) KillTimer(notify_, timer_id_);
  timer_running_ = false;
  for (std::size_t i = 0; i < sockets_.size(); ++i) CloseAttempt(i);
  if (connected_ != INVALID_SOCKET) closesocket(connected_);
  connected_ = INVALID_SOCKET;
}

SOCKET SocketDialer::TakeConnected() {
  const SOCKET s = connected_;
  connected_ = INVALID_SOCKET;
  return s;
}

}  // namespace zepho
