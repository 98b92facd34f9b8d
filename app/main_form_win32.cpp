#include "app/main_form_win32.h"

#include <commctrl.h>

#include <vector>

#include "resources/resource.h"
#include "ui/message_boxes.h"
#include "ui/password_prompt.h"
#include "ui/version_window.h"
#include "winlib/text.h"

namespace zepho {

namespace {

// The folder of the running program with its trailing separator, in UTF-16 as
// the system gives it: a folder of any name on a Windows of any language.
std::wstring ProgramFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::wstring full(path.begin(), path.end());
  const size_t cut = full.find_last_of(L"\\:");
  return cut == std::wstring::npos ? std::wstring() : full.substr(0, cut + 1);
}

}  // namespace

TForm1::TForm1(winlib::Application& app)
    : app_(app),
      app_window_(app.Handle(), *this),
      timers_(app.Handle()),
      tray_icon_(app.Handle(), app.Instance(), static_cast<UINT>(ProgramMessage::Tray),
                 settings.AccountTitle),
      boxes_(app.Handle()),
      sources_(settings),
      transport_({app.Handle(), static_cast<UINT>(ProgramMessage::Socket),
                  static_cast<UINT>(ProgramMessage::Lookup), CheckTimersWin32::kConnectAttempts}),
      tls_(app.Handle(), static_cast<UINT>(ProgramMessage::CertificateChecked)),
      cycle_(settings, {*this, timers_, tray_icon_, boxes_, transport_, sources_, &tls_}),
      settings_window_(app.Instance()),
      driver_(
          window_system_,
          [this] {
            return DriveOptions{.RecvDo = settings.RecvDo,
                                .InboxMove = settings.InboxMove,
                                .RetrySearchToNozari = settings.RetrySearchToNozari,
                                .RecvSleep = settings.RecvSleep};
          },
          [this] { cycle_.SetTrayIcon(TrayMode::Normal); }),
      results_window_(app.Instance()),
      network_change_(app.Handle(), static_cast<UINT>(ProgramMessage::NetworkChanged)) {}

template <typename F>
void TForm1::Guard(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    OnHandlerError(e);
  }
}

void TForm1::OnHandlerError(const std::exception& error) {
  ui::ShowErrorBox(app_.Handle(), error);
}

bool TForm1::FormCreate() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  if (!settings_window_.Create(app_.Handle(), settings_form_, *this)) return false;
  app_.SetMainForm(settings_window_.Handle());

  // 1. The initial values are the record's defaults.
  settings = Settings{};
  cycle_.CheckTicks = 0;
  // 2. The settings window shows the application icon in its caption.
  app_icon_ = LoadIconW(app_.Instance(), L"MAINICON");
  PostMessageW(settings_window_.Handle(), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(app_icon_));
  // 3. Windows Sockets 1.1. Without them no check can ever work: say so and end.
  if (StartupSockets() != 0) {
    boxes_.InfoBox(Notice::SocketInitFailed);
    return false;
  }
  sockets_started_ = true;
  // 4. The mail client's window.
  FindCompanion();
  // 5. The files beside the program, whatever the working directory.
  const std::wstring folder = ProgramFolder();
  IniPath = folder + winlib::Wide932(kIniFileName);
  LogPath = folder + L"ZEPHO.LOG";
  sources_.SetPaths(IniPath, LogPath);
  // 6. Settings, then the mail client's accounts.
  Guard([&] { LoadSettings(sources_.profile(), settings); });
  EnumerateAccounts(sources_.mailbox(), accounts, settings);
  // 7. To the tray with the first check at once, or the settings window.
  cycle_.BeginAtStartup();
  // Offline, a new address brings a check at once (a speed-up where the
  // system tells; the retries do without).
  network_change_.Start();
  return true;
}

bool TForm1::OnSocketMessage(WPARAM wparam, LPARAM lparam) {
  return transport_.OnSocketEvent(wparam, lparam, cycle_);
}

void TForm1::OnCertificateMessage(WPARAM wparam) {
  if (const std::optional<CertificateVerdict> v = tls_.TakeVerdict(wparam))
    cycle_.OnCertificateChecked(v->verdict, v->detail);
}

void TForm1::OnTimerMessage(UINT_PTR id) {
  if (transport_.OnTimer(id, cycle_)) return;
  switch (timers_.OnTimer(id)) {
    case CheckTimersWin32::Tick::Timer1: cycle_.Timer1Timer(); break;
    case CheckTimersWin32::Tick::Timer2: cycle_.Timer2Timer(); break;
    case CheckTimersWin32::Tick::CheckBound: cycle_.CheckBoundTimer(); break;
    case CheckTimersWin32::Tick::None: break;
  }
}

void TForm1::OnTrayMessage(LPARAM lparam) {
  switch (lparam) {
    case WM_LBUTTONDOWN: cycle_.TrayLeftClick(); return;
    case WM_RBUTTONDOWN:
      FindCompanion();
      ShowTrayMenu();
      return;
    case TRAY_SHOW_SETTINGS: ShowSettings(); return;
    case NIN_BALLOONUSERCLICK: ShowResults(); return;
  }
}

void TForm1::ShowTrayMenu() {
  const bool enabled = cycle_.MenuEnabled();
  const TrayMenu::Command chosen = tray_menu_.Show(app_.Handle(), enabled, [this] { PumpMessages(); });
  if (cycle_.MenuChoiceStands(enabled)) OnTrayCommand(chosen);
}

void TForm1::OnTrayCommand(TrayMenu::Command command) {
  using C = TrayMenu::Command;
  switch (command) {
    case C::K5: VerBtnClick(); break;                             // the version window
    case C::K1: ShowSettings(); break;                            // the settings window
    case C::KTaskTray1: driver_.CompanionToTray(); break;         // the client into its tray
    case C::K2: driver_.IconizeCompanion(); break;                // the client minimised
    case C::K3: driver_.K3Click(); break;                         // the client raised
    case C::K4: PopUpCompanion(/*search_again=*/false); break;    // the client receives
    case C::KCheckNow: cycle_.CheckNow(); break;                  // a check at once
    case C::KResults: ShowResults(); break;                       // the last check
    case C::K6mStop: K6mStopClick(); break;                       // pause or resume
    case C::KZEPHO1: ZephoEndBtnClick(); break;                   // exit
    case C::None: break;
  }
}

// The timers are not touched: while paused each due check is skipped.
void TForm1::K6mStopClick() { tray_menu_.ShowPaused(cycle_.K6mStopClick() == 1); }

void TForm1::ShowResults() {
  const bool created = results_window_.Handle() != nullptr;
  if (results_window_.Open(app_.Handle(), app_icon_, cycle_.last_report()) && !created)
    app_.AddDialog(results_window_.Handle());
}

LocalTime TForm1::LocalTimeNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void TForm1::Post(ProgramMessage message, std::int32_t lparam) {
  PostMessageW(app_.Handle(), static_cast<UINT>(message), 0, lparam);
}

// An error while driving the mail client ends only that, not the check cycle around it.
void TForm1::FindCompanion() {
  Guard([&] { driver_.FindCompanion(); });
}

void TForm1::PopUpCompanion(bool search_again) {
  if (search_again) driver_.CompanionFound = 0;
  Guard([&] { driver_.PopUpCompanion(); });
}

std::optional<std::string> TForm1::ShowPasswordPrompt() {
  return ui::ShowPasswordPrompt(app_.Instance(), app_.Handle(), app_icon_);
}

void TForm1::ShowSettings() {
  cycle_.SetTrayIcon(TrayMode::Remove);
  app_.ShowMainForm = true;
  FormShow();
  const HWND window = settings_window_.Handle();
  ShowWindow(window, SW_SHOW);
  ShowWindow(app_.Handle(), SW_SHOW);
  // The taskbar button's window must not keep the focus from the form.
  SetForegroundWindow(window);
  // OK has the focus the first time; later the window keeps the focus it had.
  if (!settings_shown_before_) settings_window_.FocusControl(IDC_OKBUTTON);
  settings_shown_before_ = true;
}

void TForm1::FormShow() {
  Guard([&] { settings_form_.Fill(); });
  cycle_.SettingsShown();
}

void TForm1::HideSettings() {
  FindCompanion();
  cycle_.SetTrayIcon(TrayMode::Add);
  app_.ShowMainForm = false;
  ShowWindow(settings_window_.Handle(), SW_HIDE);
  ShowWindow(app_.Handle(), SW_HIDE);
}

void TForm1::OKButtonClick() {
  if (!settings_form_.OKButtonClick()) return;  // refused: the window stays
  HideSettings();
  cycle_.SettingsAccepted();
}

void TForm1::CANButtonClick() {
  HideSettings();
  cycle_.SettingsCancelled();
}

void TForm1::VerBtnClick() {
  ui::ShowVersionWindow(app_.Instance(), settings_window_.Handle(), app_icon_);
}

void TForm1::ZephoEndBtnClick() {
  cycle_.SetTrayIcon(TrayMode::Remove);
  CloseMainForm();
}

void TForm1::CloseMainForm() {
  FormClose();
  app_.Terminate();
}

void TForm1::FormClose() {
  if (closed_) return;
  closed_ = true;
  cycle_.Closing();
  app_.RemoveDialog(results_window_.Handle());
  driver_.Cancel();  // a drive sequence waiting under this call sends nothing more
  cycle_.SetTrayIcon(TrayMode::Remove);
  network_change_.Stop();
  transport_.Close();
  if (sockets_started_) CleanupSockets();
  sockets_started_ = false;
  timers_.StopAll();
  // No setting is written on the way out.
}

}  // namespace zepho
