// The program's icon in the tray: its record, its pictures and its tip, its
// balloon, and its return after the shell (Explorer) started again.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "app/check_cycle.h"
#include "app/tray_icon.h"

namespace zepho {

class TrayIconWin32 : public TrayIconView {
 public:
  // The icon belongs to `window`, which gets its mouse messages as
  // `callback_message`; its tip names the account `account_title`.
  TrayIconWin32(HWND window, HINSTANCE instance, UINT callback_message,
                const std::string& account_title)
      : window_(window), instance_(instance), callback_message_(callback_message),
        account_title_(account_title) {}
  TrayIconWin32(const TrayIconWin32&) = delete;
  TrayIconWin32& operator=(const TrayIconWin32&) = delete;

  void SetTrayIcon(TrayMode mode, bool paused) override;
  void ShowBalloon(const TrayBalloon& balloon) override;
  void SetOffline(bool offline) override;
  void NoteServerReached() override;
  // The shell started again and lost its icons: ours comes back when it was there.
  void OnTaskbarCreated();

 private:
  HWND window_;
  HINSTANCE instance_;
  UINT callback_message_;
  // The tip of the current state, into the record.
  void FillTip();

  const std::string& account_title_;
  bool offline_ = false;
  std::optional<TipTime> last_reached_;  // local time, in this run
  NOTIFYICONDATAW tray_{};
};

}  // namespace zepho
