// The main form: the owner of everything that runs for the whole program (the
// settings, the check cycle, the connection, the tray icon, the mail client's
// data) and the one place where the parts are wired together. Each part lives
// in its own file; the handlers here only route events to them.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "app/app_window_win32.h"
#include "app/check_cycle.h"
#include "app/check_sources_win32.h"
#include "app/check_timers_win32.h"
#include "app/message_boxes_win32.h"
#include "app/network_change_win32.h"
#include "app/tray_icon_win32.h"
#include "app/tray_menu_win32.h"
#include "companion/companion_driver.h"
#include "companion/window_system_win32.h"
#include "pop3/socket_transport_win32.h"
#include "net/tls_schannel_win32.h"
#include "settings/settings_file.h"
#include "ui/results_window.h"
#include "ui/settings_form.h"
#include "ui/settings_window.h"
#include "winlib/application.h"

namespace zepho {

class TForm1 : public CycleShell, public AppWindowHandlers, public ui::SettingsWindowEvents {
 public:
  explicit TForm1(winlib::Application& app);
  ~TForm1() override = default;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates the window and runs the creation steps; false when the program
  // cannot go on (no Windows Sockets) and has already told the user why.
  bool FormCreate();
  // From here on the application window's messages come to the handlers below.
  void InstallAppWindowProc() { app_window_.Install(); }
  void FormClose();

  Settings settings;
  std::wstring IniPath;
  std::wstring LogPath;
  AccountTable accounts;

 private:
  // AppWindowHandlers
  void OnTrayMessage(LPARAM lparam) override;
  void OnAskPasswordMessage() override { cycle_.OnAskPasswordMessage(); }
  void OnStartCheckMessage() override { cycle_.StartCheck(); }
  void OnEndCheckMessage() override { cycle_.EndCheck(); }
  bool OnSocketMessage(WPARAM wparam, LPARAM lparam) override;
  void OnLookupMessage(WPARAM wparam) override { transport_.OnLookupMessage(wparam, cycle_); }
  void OnCertificateMessage(WPARAM wparam) override;
  void OnNetworkChanged() override { cycle_.NetworkChanged(); }
  void OnSuspend() override { cycle_.Suspending(); }
  void OnResume() override { cycle_.Resumed(); }
  void OnTimerMessage(UINT_PTR id) override;
  void OnTaskbarCreated() override { tray_icon_.OnTaskbarCreated(); }
  void OnHandlerError(const std::exception& error) override;

  // CycleShell
  void Post(ProgramMessage message, std::int32_t lparam = 0) override;
  void PumpMessages() override { app_.ProcessMessages(); }
  void ShowSettings() override;
  std::optional<std::string> ShowPasswordPrompt() override;
  void ClearPasswordBox() override { settings_window_.SetText(FormEdit::PassEdit, ""); }
  void FindCompanion() override;
  void PopUpCompanion(bool search_again) override;
  bool CompanionBusy() override { return driver_.Busy(); }
  LocalTime LocalTimeNow() override;
  void CheckReported() override { results_window_.Update(cycle_.last_report()); }

  // ui::SettingsWindowEvents
  void OKButtonClick() override;
  void CANButtonClick() override;
  void VerBtnClick() override;
  void ZephoEndBtnClick() override;
  void OnEscape() override { CANButtonClick(); }
  void CloseBoxClick() override { CloseMainForm(); }

  void ShowTrayMenu();
  void OnTrayCommand(TrayMenu::Command command);
  void K6mStopClick();
  // The results window, in front, with the last check's report.
  void ShowResults();
  void FormShow();
  void HideSettings();
  void CloseMainForm();
  // Runs a handler; an error (a failed settings write, no memory...) is shown
  // and ends only that handler.
  template <typename F> void Guard(F&& handler);

  winlib::Application& app_;
  HICON app_icon_ = nullptr;
  bool sockets_started_ = false;
  bool closed_ = false;
  bool settings_shown_before_ = false;

  AppWindow app_window_;
  CheckTimersWin32 timers_;
  TrayIconWin32 tray_icon_;
  MessageBoxesWin32 boxes_;
  CheckSourcesWin32 sources_;
  SocketTransport transport_;
  SchannelTls tls_;
  CheckCycle cycle_;
  // The settings window: its controls, and the rules they follow.
  ui::SettingsWindow settings_window_;
  SettingsForm settings_form_{settings, sources_.profile(), sources_.mailbox(), accounts,
                              settings_window_};
  WindowSystemWin32 window_system_{[this] { PumpMessages(); }};
  CompanionDriver driver_;
  TrayMenu tray_menu_;
  ui::ResultsWindow results_window_;
  NetworkChangeWin32 network_change_;
};

}  // namespace zepho
