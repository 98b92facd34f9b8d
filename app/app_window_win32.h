// The application window's procedure, AppWindowProc: the program's own posted
// messages, the tray icon's notifications, the socket's events, the timers,
// sleep and wake-up, and the shell's TaskbarCreated go to the handlers;
// everything else (and what a handler leaves) to the procedure it replaced.
#pragma once

#include <windows.h>

#include <exception>

namespace zepho {

class AppWindowHandlers {
 public:
  virtual ~AppWindowHandlers() = default;
  virtual void OnTrayMessage(LPARAM lparam) = 0;  // MSG_TRAY
  virtual void OnAskPasswordMessage() = 0;        // MSG_ASK_PASSWORD
  virtual void OnStartCheckMessage() = 0;         // MSG_START_CHECK
  virtual void OnEndCheckMessage() = 0;           // MSG_END_CHECK
  // MSG_SOCKET; false when it is not about the current socket.
  virtual bool OnSocketMessage(WPARAM wparam, LPARAM lparam) = 0;
  virtual void OnLookupMessage(WPARAM wparam) = 0;  // the server name's look-up is over
  virtual void OnCertificateMessage(WPARAM wparam) = 0;  // the certificate's check is over
  virtual void OnNetworkChanged() = 0;  // a new network address
  // WM_POWERBROADCAST: PBT_APMSUSPEND; PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC
  // or PBT_APMRESUMECRITICAL.
  virtual void OnSuspend() = 0;
  virtual void OnResume() = 0;
  virtual void OnTimerMessage(UINT_PTR id) = 0;
  virtual void OnTaskbarCreated() = 0;
  // A handler failed: the error is shown and only that handler ends.
  virtual void OnHandlerError(const std::exception& error) = 0;
};

class AppWindow {
 public:
  AppWindow(HWND window, AppWindowHandlers& handlers);
  AppWindow(const AppWindow&) = delete;
  AppWindow& operator=(const AppWindow&) = delete;

  // Replaces the window's procedure; from here on its messages come to the handlers.
  void Install();

 private:
  static LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT Dispatch(UINT msg, WPARAM wparam, LPARAM lparam);

  HWND window_;
  AppWindowHandlers& handlers_;
  WNDPROC previous_proc_ = nullptr;
  const UINT taskbar_created_;
};

}  // namespace zepho
