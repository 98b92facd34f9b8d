// The main form: at once the settings window and the owner of everything that
// runs (settings, check cycle, socket, tray icon, the mail client's data). It
// wires the parts together and routes window events to them.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

#include "app/check_cycle.h"
#include "app/reply_timer.h"
#include "app/tray_menu_win32.h"
#include "companion/companion_driver.h"
#include "companion/mailbox_store_win32.h"
#include "companion/window_system_win32.h"
#include "pop3/log_file_win32.h"
#include "pop3/socket_transport_win32.h"
#include "pop3/tls_schannel_win32.h"
#include "settings/profile_win32.h"
#include "settings/settings_file.h"
#include "settings/settings_form.h"
#include "ui/settings_window.h"
#include "winlib/application.h"

namespace zepho {

class TForm1 : public CycleShell, public CycleSources {
 public:
  explicit TForm1(winlib::Application& app);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates the window and runs the creation steps; false when the program
  // cannot go on (no Windows Sockets) and has already told the user why.
  bool FormCreate();
  HWND Handle() const { return hwnd_; }

  // The replacement procedure of the application window.
  static LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  void InstallAppWindowProc();

  // CycleShell
  void Post(ProgramMessage message, std::int32_t lparam = 0) override;
  void SetCheckTimer(bool running) override;
  void SetTimeoutTimer(bool running) override;
  void SetTrayIcon(TrayMode mode) override;
  void InfoBox(Notice notice) override;
  bool ConfirmBox(Notice notice) override;
  void PumpMessages() override;
  void ShowSettings() override;
  void FindCompanion() override;
  void PopUpCompanion() override;
  void ShowPasswordPrompt() override;
  void ClearPasswordBox() override;
  void TlsFailureBox(const std::string& server, const TlsFailure& failure) override;

  // CycleSources
  int LoadReceivedIdList(std::optional<ReceivedIdList>& list) override;
  CheckList LoadCheckList() override;
  void AppendLog(const std::string& text) override;
  void CloseLog() override;

  void HideSettings();
  void FormClose();

  Settings settings;
  std::wstring IniPath;
  std::wstring LogPath;
  AccountTable accounts;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  INT_PTR OnDialogMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT OnAppMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT OnSocketEvent(HWND hwnd, WPARAM wparam, LPARAM lparam);
  void SetPlatformTimer2(ReplyTimer::Call call);
  bool Timer2Due();  // a WM_TIMER of Timer2 is a tick of the time-out
  void OnTrayMessage(HWND hwnd, LPARAM lparam);
  void TrayLeftClick();
  void ShowTrayMenu(HWND hwnd);
  void OnTrayCommand(TrayMenu::Command command);
  void K6mStopClick();
  void OnTaskbarCreated();
  void FormShow();
  void OKButtonClick();
  void CANButtonClick();
  void VerBtnClick();
  void ZephoEndBtnClick();
  void OnEscape();
  void CloseMainForm();
  void ShowWriteError(const SettingsWriteError& e);
  void ShowError(const std::exception& e);
  // Runs a handler; an error (a failed settings write, no memory...) is shown
  // and ends only that handler.
  template <typename F> void Guard(F&& handler);

  winlib::Application& app_;
  HWND hwnd_ = nullptr;
  HICON app_icon_ = nullptr;
  WNDPROC previous_proc_ = nullptr;
  bool sockets_started_ = false;
  bool closed_ = false;
  ReplyTimer timer2_{kTimerIntervalMs};
  ProfileWin32 profile_{L""};
  MailboxStoreWin32 mailbox_;
  SocketTransport transport_;
  SchannelTls tls_;
  LogFile log_;
  CheckCycle cycle_;
  NOTIFYICONDATAW tray_{};
  // The settings window: its controls, and the rules they follow.
  ui::SettingsWindow settings_window_;
  SettingsForm settings_form_{settings, profile_, mailbox_, accounts, settings_window_};
  bool settings_shown_before_ = false;
  WindowSystemWin32 window_system_{[this] { PumpMessages(); }};
  CompanionDriver driver_{window_system_, settings, [this] { SetTrayIcon(TrayMode::Normal); }};
  TrayMenu tray_menu_;
  UINT taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
};

}  // namespace zepho
