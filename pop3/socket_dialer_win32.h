// Connects to one of a server's addresses without blocking: drives the
// connect attempts (pop3/connect_attempts) with non-blocking sockets whose
// notifications come to a window (WSAAsyncSelect), and a window timer for the
// attempt timer. The window's owner routes the notifications and the timer's
// WM_TIMER here; the winning socket is then handed over, its notifications
// still going to the same window with the same message.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <vector>

#include "pop3/connect_attempts.h"

namespace zepho {

class SocketDialer {
 public:
  enum class Result {
    NotMine,     // the notification was of no open attempt
    Connecting,  // still under way
    Connected,   // TakeConnected gives the connection
    Failed,      // no address could be reached: see error(), timed_out()
  };

  SocketDialer(HWND notify, UINT message, UINT_PTR timer_id, ConnectLimits limits = {})
      : notify_(notify), message_(message), timer_id_(timer_id), limits_(limits) {}
  ~SocketDialer() { Cancel(); }
  SocketDialer(const SocketDialer&) = delete;
  SocketDialer& operator=(const SocketDialer&) = delete;

  // Starts connecting to `port` at `addresses`, in the attempts' order; a dial
  // under way is cancelled first.
  Result Begin(const std::vector<IpAddress>& addresses, std::uint16_t port);
  // A notification of `message` (wParam: the socket, lParam: event and error).
  Result OnSocketEvent(WPARAM wparam, LPARAM lparam);
  // WM_TIMER with the dialer's timer id.
  Result OnTimer();
  // Closes every open attempt and stops the timer.
  void Cancel();

  // The connected socket, once Connected; the dialer forgets it.
  SOCKET TakeConnected();
  // The address that was reached, or of the last failure.
  const IpAddress& address() const { return address_; }
  int error() const { return error_; }
  bool timed_out() const { return timed_out_; }

  // How a dial that Failed came about.
  enum class Failure {
    NoSocket,   // no attempt got a socket of its address's family
    OnTheSpot,  // this machine refused every connect at once: nothing went out
    Later,      // attempts went out, and were refused or never answered
  };
  Failure failure() const {
    return went_out_ ? Failure::Later : refused_here_ ? Failure::OnTheSpot : Failure::NoSocket;
  }

 private:
  Result Run(DialActions actions);
  // Opens attempt `attempt`; returns 0 or the error that ended it at once.
  int Open(std::size_t attempt, const IpAddress& address);
  void CloseAttempt(std::size_t attempt);

  HWND notify_;
  UINT message_;
  UINT_PTR timer_id_;
  ConnectLimits limits_;
  ConnectAttempts attempts_;
  std::vector<SOCKET> sockets_;  // by attempt; INVALID_SOCKET when closed
  std::uint16_t port_ = 0;
  SOCKET connected_ = INVALID_SOCKET;
  IpAddress address_;
  int error_ = 0;
  bool timed_out_ = false;
  bool went_out_ = false;      // an attempt's connect got under way
  bool refused_here_ = false;  // an attempt's connect failed at once
  bool timer_running_ = false;
  bool active_ = false;  // Begin until the outcome or Cancel
};

}  // namespace zepho
