// For the socket tests: a message-only window that receives WSAAsyncSelect
// notifications, and loopback listeners on IPv4 and IPv6.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "net/ip_address.h"
#include "unit/ip_address_printer.h"

namespace zepho::test {

constexpr UINT kSelectMessage = WM_APP + 30;

struct SelectEvent {
  SOCKET socket = INVALID_SOCKET;
  int event = 0;
  int error = 0;
};

class SelectWindow {
 public:
  SelectWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZEPHOSelectTest";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          wc.hInstance, nullptr);
  }
  ~SelectWindow() { DestroyWindow(hwnd_); }
  SelectWindow(const SelectWindow&) = delete;
  SelectWindow& operator=(const SelectWindow&) = delete;
  HWND hwnd() const { return hwnd_; }

  bool Watch(SOCKET s) {
    return WSAAsyncSelect(s, hwnd_, kSelectMessage, FD_READ | FD_CONNECT | FD_CLOSE) == 0;
  }

  // The next notification within `ms`; other messages are dispatched.
  bool Next(SelectEvent& got, DWORD ms = 5000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == hwnd_ && msg.message == kSelectMessage) {
          got = {static_cast<SOCKET>(msg.wParam), WSAGETSELECTEVENT(msg.lParam),
                 WSAGETSELECTERROR(msg.lParam)};
          return true;
        }
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return false;
  }

 private:
  HWND hwnd_;
};

// A socket address for `ip` and `port`; its length in `len`.
inline sockaddr_storage SocketAddress(const IpAddress& ip, unsigned short port, int& len) {
  sockaddr_storage a{};
  if (ip.family == IpAddress::Family::V4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&a);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    std::memcpy(&in->sin_addr, ip.bytes.data(), 4);
    len = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    std::memcpy(&in6->sin6_addr, ip.bytes.data(), 16);
    in6->sin6_scope_id = ip.scope_id;
    len = sizeof(sockaddr_in6);
  }
  return a;
}

// A blocking listener on a loopback address, on a port of its own or a given one.
class LoopbackListener {
 public:
  explicit LoopbackListener(const IpAddress& ip, unsigned short port = 0) {
    s_ = socket(ip.family == IpAddress::Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM, 0);
    int len = 0;
    sockaddr_storage a = SocketAddress(ip, port, len);
    if (s_ == INVALID_SOCKET || bind(s_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        listen(s_, 8) != 0) {
      Close();
      return;
    }
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);  // same place in both
  }
  ~LoopbackListener() { Close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  bool ok() const { return s_ != INVALID_SOCKET; }
  unsigned short port() const { return port_; }
  SOCKET Accept() { return accept(s_, nullptr, nullptr); }
  void Close() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    s_ = INVALID_SOCKET;
  }

 private:
  SOCKET s_ = INVALID_SOCKET;
  unsigned short port_ = 0;
};

}  // namespace zepho::test
