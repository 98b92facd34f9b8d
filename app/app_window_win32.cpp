#include "app/app_window_win32.h"

#include "app/program_messages.h"

namespace zepho {

AppWindow::AppWindow(HWND window, AppWindowHandlers& handlers)
    : window_(window), handlers_(handlers),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")) {}

void AppWindow::Install() {
  // The window's user data rather than a window property: every message of
  // the window (each socket notification of a check among them) reads it, and
  // user data are read without a round trip to the window system.
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  previous_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AppWindowProc)));
}

LRESULT CALLBACK AppWindow::AppWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<AppWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  try {
    return self->Dispatch(msg, wparam, lparam);
  } catch (const std::exception& e) {
    self->handlers_.OnHandlerError(e);
    return 0;
  }
}

LRESULT AppWindow::Dispatch(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == taskbar_created_ && taskbar_created_ != 0) {
    handlers_.OnTaskbarCreated();
    return 0;
  }
  if (msg == WM_TIMER) {
    handlers_.OnTimerMessage(wparam);
    return 0;
  }
  if (msg == WM_POWERBROADCAST) {
    switch (wparam) {
      case PBT_APMSUSPEND: handlers_.OnSuspend(); return TRUE;
      // After a wake-up Windows sends both; one counts. A critical sleep
      // (an empty battery) is told only afterwards.
      case PBT_APMRESUMESUSPEND:
      case PBT_APMRESUMEAUTOMATIC:
      case PBT_APMRESUMECRITICAL: handlers_.OnResume(); return TRUE;
    }
  }
  switch (static_cast<ProgramMessage>(msg)) {
    case ProgramMessage::Tray: handlers_.OnTrayMessage(lparam); return 0;
    case ProgramMessage::AskPassword: handlers_.OnAskPasswordMessage(); return 0;
    case ProgramMessage::StartCheck: handlers_.OnStartCheckMessage(); return 0;
    case ProgramMessage::EndCheck: handlers_.OnEndCheckMessage(); return 0;
    case ProgramMessage::Socket:
      if (handlers_.OnSocketMessage(wparam, lparam)) return 0;
      break;
    case ProgramMessage::Lookup: handlers_.OnLookupMessage(wparam); return 0;
    case ProgramMessage::CertificateChecked: handlers_.OnCertificateMessage(wparam); return 0;
    case ProgramMessage::NetworkChanged: handlers_.OnNetworkChanged(); return 0;
  }
  return CallWindowProcW(previous_proc_, window_, msg, wparam, lparam);
}

}  // namespace zepho
