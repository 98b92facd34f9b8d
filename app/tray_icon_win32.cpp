#include "app/tray_icon_win32.h"

#include "app/tray_icon.h"
#include "winlib/text.h"

namespace zepho {

void TrayIconWin32::SetTrayIcon(TrayMode mode, bool paused) {
  const char* icon = TrayIconName(mode, paused ? 1 : 0);
  if (mode == TrayMode::Add) {
    tray_ = NOTIFYICONDATAW{};
    tray_.cbSize = NOTIFYICONDATAW_V1_SIZE;
    tray_.hWnd = window_;
    tray_.uID = 1;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = callback_message_;
    tray_.hIcon = LoadIconW(instance_, winlib::Wide932(icon).c_str());
    FillTip();
    Shell_NotifyIconW(NIM_ADD, &tray_);
    return;
  }
  if (icon) {
    // The window is kept: while the icon is out of the tray the shell refuses the change.
    tray_.hWnd = window_;
    tray_.hIcon = LoadIconW(instance_, winlib::Wide932(icon).c_str());
    Shell_NotifyIconW(NIM_MODIFY, &tray_);
    return;
  }
  if (tray_.hWnd) Shell_NotifyIconW(NIM_DELETE, &tray_);
  tray_.hWnd = nullptr;
}

void TrayIconWin32::ShowBalloon(const TrayBalloon& balloon) {
  // The balloon's fields lie past the first version of the record: this call
  // gives its size as the second's. The icon itself keeps the first.
  NOTIFYICONDATAW info = tray_;
  info.cbSize = NOTIFYICONDATAW_V2_SIZE;
  info.hWnd = window_;
  info.uFlags = NIF_INFO;
  // Both texts are bounded to their fields already (NewMailBalloon).
  lstrcpynW(info.szInfoTitle, reinterpret_cast<const wchar_t*>(balloon.title.c_str()),
            ARRAYSIZE(info.szInfoTitle));
  lstrcpynW(info.szInfo, reinterpret_cast<const wchar_t*>(balloon.text.c_str()),
            ARRAYSIZE(info.szInfo));
  info.uTimeout = 15000;
  info.dwInfoFlags = NIIF_INFO;
  Shell_NotifyIconW(NIM_MODIFY, &info);
}

void TrayIconWin32::FillTip() {
  const std::string tip =
      offline_ ? OfflineTrayTip(account_title_, last_reached_) : TrayTip(account_title_);
  // The field of the record size used (NOTIFYICONDATAW_V1_SIZE) holds 64 units.
  lstrcpynW(tray_.szTip, winlib::Wide932(tip).c_str(), 64);
}

void TrayIconWin32::SetOffline(bool offline) {
  if (offline == offline_) return;
  offline_ = offline;
  FillTip();
  // Out of the tray the record waits for the next add.
  if (tray_.hWnd) Shell_NotifyIconW(NIM_MODIFY, &tray_);
}

void TrayIconWin32::NoteServerReached() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  last_reached_ = TipTime{now.wMonth, now.wDay, now.wHour, now.wMinute};
}

void TrayIconWin32::OnTaskbarCreated() {
  if (tray_.hWnd) Shell_NotifyIconW(NIM_ADD, &tray_);
}

}  // namespace zepho
