#include "app/main_form_win32.h"

#include <commctrl.h>

#include <vector>

#include "app/texts_win32.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "ui/password_prompt.h"
#include "ui/version_window.h"
#include "winlib/text.h"

namespace zepho {

namespace {

constexpr UINT_PTR kTimer1 = 1;  // the check timer
constexpr UINT_PTR kTimer2 = 2;  // the reply time-out

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
      transport_(app.Handle()),
      cycle_(settings, *this, transport_, *this, &tls_),
      settings_window_(app.Instance()) {}

TForm1::~TForm1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

template <typename F>
void TForm1::Guard(F&& handler) {
  try {
    handler();
  } catch (const SettingsWriteError& e) {
    ShowWriteError(e);
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TForm1::ShowError(const std::exception& e) {
  // The narrow API needs no memory of ours: this works after a failed allocation too.
  MessageBoxA(app_.Handle(), e.what(), "ZEPHO", MB_OK | MB_ICONERROR);
}

void TForm1::ShowWriteError(const SettingsWriteError& e) {
  const std::wstring text = e.path() + texts::kCannotWrite;
  MessageBoxW(app_.Handle(), text.c_str(), texts::kCaption, MB_OK | MB_ICONERROR);
}

bool TForm1::FormCreate() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  hwnd_ = CreateDialogParamW(app_.Instance(), MAKEINTRESOURCEW(IDD_MAIN), app_.Handle(),
                             DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hwnd_) return false;
  app_.SetMainForm(hwnd_);

  // 1. The initial values are the record's defaults.
  settings = Settings{};
  cycle_.CheckTicks = 0;
  cycle_.Waiting = 1;
  cycle_.Paused = 0;
  // 2. The settings window shows the application icon in its caption.
  app_icon_ = LoadIconW(app_.Instance(), L"MAINICON");
  PostMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(app_icon_));
  // 3. Windows Sockets 1.1. Without them no check can ever work: say so and end.
  if (StartupSockets() != 0) {
    InfoBox(Notice::SocketInitFailed);
    return false;
  }
  sockets_started_ = true;
  // 4. The mail client's window.
  FindCompanion();
  // 5. The files beside the program, whatever the working directory.
  const std::wstring folder = ProgramFolder();
  IniPath = folder + winlib::Wide932(kIniFileName);
  LogPath = folder + L"ZEPHO.LOG";
  profile_ = ProfileWin32(IniPath);
  // 6. Settings, then the mail client's accounts.
  Guard([&] { LoadSettings(profile_, settings); });
  EnumerateAccounts(mailbox_, accounts, settings);
  // 7. To the tray with the first check at once, or the settings window.
  cycle_.BeginAtStartup();
  return true;
}

void TForm1::InstallAppWindowProc() {
  // The window's user data rather than a window property: every message of
  // the window (each socket notification of a check among them) reads it, and
  // user data are read without a round trip to the window system.
  SetWindowLongPtrW(app_.Handle(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  previous_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(app_.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AppWindowProc)));
}

LRESULT CALLBACK TForm1::AppWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  LRESULT result = 0;
  form->Guard([&] { result = form->OnAppMessage(hwnd, msg, wparam, lparam); });
  return result;
}

LRESULT TForm1::OnAppMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == taskbar_created_ && taskbar_created_ != 0) {
    OnTaskbarCreated();
    return 0;
  }
  switch (static_cast<ProgramMessage>(msg)) {
    case ProgramMessage::Tray:
      OnTrayMessage(hwnd, lparam);
      return 0;
    case ProgramMessage::AskPassword:
      if (settings.Passwd.empty()) cycle_.AskPassword();
      return 0;
    case ProgramMessage::StartCheck:
      cycle_.StartCheck();
      return 0;
    case ProgramMessage::EndCheck:
      cycle_.EndCheck();
      return 0;
    case ProgramMessage::Socket:
      return OnSocketEvent(hwnd, wparam, lparam);
  }
  return CallWindowProcW(previous_proc_, hwnd, msg, wparam, lparam);
}

LRESULT TForm1::OnSocketEvent(HWND hwnd, WPARAM wparam, LPARAM lparam) {
  const SOCKET current = transport_.SocketHandle();
  if (current == INVALID_SOCKET || static_cast<SOCKET>(wparam) != current)
    return CallWindowProcW(previous_proc_, hwnd, static_cast<UINT>(ProgramMessage::Socket), wparam,
                           lparam);
  if (WSAGETSELECTERROR(lparam) != 0) {
    cycle_.OnSocketError();
    return 0;
  }
  switch (WSAGETSELECTEVENT(lparam)) {
    case FD_CONNECT:
      cycle_.OnConnected();
      return 0;
    case FD_READ: {
      std::string bytes;
      if (!ReceiveChunk(current, bytes))
        cycle_.OnSocketError();
      else
        cycle_.OnReceived(bytes);
      return 0;
    }
  }
  // FD_CLOSE and anything else: a silent server is left to the reply time-out.
  return CallWindowProcW(previous_proc_, hwnd, static_cast<UINT>(ProgramMessage::Socket), wparam,
                         lparam);
}

void TForm1::OnTrayMessage(HWND hwnd, LPARAM lparam) {
  switch (lparam) {
    case WM_LBUTTONDOWN: TrayLeftClick(); return;
    case WM_RBUTTONDOWN:
      FindCompanion();
      ShowTrayMenu(hwnd);
      return;
    case TRAY_SHOW_SETTINGS: ShowSettings(); return;
  }
}

// Between checks only, and not while the mail client is being driven already.
void TForm1::TrayLeftClick() {
  if (cycle_.Waiting != 1 || driver_.Busy()) return;
  SetCheckTimer(false);
  PumpMessages();
  driver_.CompanionFound = 0;
  PopUpCompanion();
  // A due tick already queued when the timer stopped may have started a check
  // meanwhile: its end arms the timer, not this click.
  if (!closed_ && cycle_.Waiting == 1) cycle_.RestartInterval();
}

void TForm1::ShowTrayMenu(HWND hwnd) {
  OnTrayCommand(tray_menu_.Show(hwnd, cycle_.Waiting != 0, [this] { PumpMessages(); }));
}

void TForm1::OnTrayCommand(TrayMenu::Command command) {
  using C = TrayMenu::Command;
  switch (command) {
    case C::K5: VerBtnClick(); break;  // K5Click
    case C::K1: ShowSettings(); break;  // K1Click
    case C::KTaskTray1: driver_.CompanionToTray(); break;  // KTaskTray1Click
    case C::K2: driver_.IconizeCompanion(); break;  // K2Click
    case C::K3: driver_.K3Click(); break;  // K3Click
    case C::K4: PopUpCompanion(); break;  // K4Click
    case C::K6mStop: K6mStopClick(); break;
    case C::KZEPHO1: ZephoEndBtnClick(); break;  // KZEPHO1Click
    case C::None: break;
  }
}

// The timers are not touched: while paused each due check is skipped.
void TForm1::K6mStopClick() {
  tray_menu_.ShowPaused(cycle_.K6mStopClick() == 1);
}

// The shell started again and lost its icons: ours comes back when it was there.
void TForm1::OnTaskbarCreated() {
  if (tray_.hWnd) Shell_NotifyIconW(NIM_ADD, &tray_);
}

void TForm1::Post(ProgramMessage message, std::int32_t lparam) {
  PostMessageW(app_.Handle(), static_cast<UINT>(message), 0, lparam);
}

void TForm1::SetCheckTimer(bool running) {
  if (running)
    SetTimer(hwnd_, kTimer1, kTimerIntervalMs, nullptr);
  else
    KillTimer(hwnd_, kTimer1);
}

void TForm1::SetTimeoutTimer(bool running) {
  SetPlatformTimer2(running ? timer2_.Start(GetTickCount()) : timer2_.Stop());
}

void TForm1::SetPlatformTimer2(ReplyTimer::Call call) {
  if (call.kind == ReplyTimer::Call::Kind::Set)
    SetTimer(hwnd_, kTimer2, call.ms, nullptr);
  else if (call.kind == ReplyTimer::Call::Kind::Kill)
    KillTimer(hwnd_, kTimer2);
}

bool TForm1::Timer2Due() {
  ReplyTimer::Call call;
  const bool due = timer2_.OnTick(GetTickCount(), call);
  SetPlatformTimer2(call);
  return due;
}

void TForm1::SetTrayIcon(TrayMode mode) {
  const HWND window = app_.Handle();
  const char* icon = TrayIconName(mode, cycle_.Paused);
  if (mode == TrayMode::Add) {
    tray_ = NOTIFYICONDATAW{};
    tray_.cbSize = NOTIFYICONDATAW_V1_SIZE;
    tray_.hWnd = window;
    tray_.uID = 1;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = static_cast<UINT>(ProgramMessage::Tray);
    tray_.hIcon = LoadIconW(app_.Instance(), winlib::Wide932(icon).c_str());
    const std::wstring tip = winlib::Wide932(TrayTip(settings.AccountTitle));
    lstrcpynW(tray_.szTip, tip.c_str(), 64);
    Shell_NotifyIconW(NIM_ADD, &tray_);
    return;
  }
  if (icon) {
    // The window is kept: while the icon is out of the tray the shell refuses the change.
    tray_.hWnd = window;
    tray_.hIcon = LoadIconW(app_.Instance(), winlib::Wide932(icon).c_str());
    Shell_NotifyIconW(NIM_MODIFY, &tray_);
    return;
  }
  if (tray_.hWnd) Shell_NotifyIconW(NIM_DELETE, &tray_);
  tray_.hWnd = nullptr;
}

void TForm1::InfoBox(Notice notice) {
  MessageBoxW(app_.Handle(), texts::NoticeText(notice), texts::kCaption, MB_OK);
}

void TForm1::TlsFailureBox(const std::string& server, const TlsFailure& failure) {
  MessageBoxW(app_.Handle(), texts::TlsFailureText(server, failure).c_str(), texts::kCaption, MB_OK);
}

bool TForm1::ConfirmBox(Notice notice) {
  return MessageBoxW(app_.Handle(), texts::NoticeText(notice), texts::kCaption, MB_OKCANCEL) ==
         IDOK;
}

void TForm1::PumpMessages() { app_.ProcessMessages(); }

// An error while driving the mail client ends only that, not the check cycle around it.
void TForm1::FindCompanion() {
  Guard([&] { driver_.FindCompanion(); });
}

void TForm1::PopUpCompanion() {
  Guard([&] { driver_.PopUpCompanion(); });
}

void TForm1::ShowPasswordPrompt() {
  ui::PasswordPromptActions actions;
  actions.accept = [this](const std::string& password) {
    settings.Passwd = password;
    Guard([&] { SaveSettings(profile_, settings); });
    Post(ProgramMessage::StartCheck);
  };
  actions.give_up = [this] { settings.Passwd.clear(); };
  ui::ShowPasswordPrompt(app_.Instance(), app_.Handle(), app_icon_, actions);
}

void TForm1::ClearPasswordBox() { settings_window_.SetText(FormEdit::PassEdit, ""); }

int TForm1::LoadReceivedIdList(std::optional<ReceivedIdList>& list) {
  return zepho::LoadReceivedIdList(mailbox_, settings, list);
}

CheckList TForm1::LoadCheckList() { return zepho::LoadCheckList(profile_); }

void TForm1::AppendLog(const std::string& text) {
  if (!log_.IsOpen() && !log_.Open(LogPath)) return;
  log_.Append(text);
}

void TForm1::CloseLog() { log_.Close(); }

void TForm1::ShowSettings() {
  SetTrayIcon(TrayMode::Remove);
  app_.ShowMainForm = true;
  FormShow();
  ShowWindow(hwnd_, SW_SHOW);
  ShowWindow(app_.Handle(), SW_SHOW);
  // The taskbar button's window must not keep the focus from the form.
  SetForegroundWindow(hwnd_);
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
  SetTrayIcon(TrayMode::Add);
  app_.ShowMainForm = false;
  ShowWindow(hwnd_, SW_HIDE);
  ShowWindow(app_.Handle(), SW_HIDE);
}

void TForm1::OKButtonClick() {
  Guard([&] {
    if (!settings_form_.OKButtonClick()) return;  // refused: the window stays
    HideSettings();
    if (settings.Passwd.empty())
      Post(ProgramMessage::AskPassword);
    else
      cycle_.ArmCheckTimer();
  });
}

void TForm1::CANButtonClick() {
  HideSettings();
  cycle_.ArmCheckTimer();
}

void TForm1::OnEscape() {
  // Only Escape that reaches the window itself comes here: typed into one of
  // its controls, buttons included, it stays with that control (winlib::Application).
  CANButtonClick();
}

void TForm1::VerBtnClick() { ui::ShowVersionWindow(app_.Instance(), hwnd_, app_icon_); }

void TForm1::ZephoEndBtnClick() {
  SetTrayIcon(TrayMode::Remove);
  CloseMainForm();
}

void TForm1::CloseMainForm() {
  FormClose();
  app_.Terminate();
}

void TForm1::FormClose() {
  if (closed_) return;
  closed_ = true;
  driver_.Cancel();  // a drive sequence waiting under this call sends nothing more
  SetTrayIcon(TrayMode::Remove);
  transport_.Close();
  if (sockets_started_) CleanupSockets();
  sockets_started_ = false;
  KillTimer(hwnd_, kTimer1);
  KillTimer(hwnd_, kTimer2);
  // No setting is written on the way out.
}

INT_PTR CALLBACK TForm1::DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  TForm1* form;
  if (msg == WM_INITDIALOG) {
    form = reinterpret_cast<TForm1*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    form->hwnd_ = hwnd;
  } else {
    form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!form) return FALSE;
  INT_PTR result = FALSE;
  form->Guard([&] { result = form->OnDialogMessage(msg, wparam, lparam); });
  return result;
}

INT_PTR TForm1::OnDialogMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      settings_window_.Attach(hwnd_, settings_form_);
      SetFocus(GetDlgItem(hwnd_, IDC_OKBUTTON));
      return FALSE;
    case WM_NOTIFY:
      return settings_window_.OnNotify(lparam) ? TRUE : FALSE;
    case WM_TIMER:
      if (wparam == kTimer1) cycle_.Timer1Timer();
      if (wparam == kTimer2 && Timer2Due()) cycle_.Timer2Timer();
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_OKBUTTON: OKButtonClick(); return TRUE;
        case IDC_CANBUTTON: CANButtonClick(); return TRUE;
        case IDC_VERBTN: VerBtnClick(); return TRUE;
        case IDC_ZEPHOENDBTN: ZephoEndBtnClick(); return TRUE;
        case IDCANCEL: OnEscape(); return TRUE;
      }
      return settings_window_.OnCommand(wparam, lparam) ? TRUE : FALSE;
    case WM_CLOSE:  // the close box ends the program
      CloseMainForm();
      return TRUE;
  }
  return FALSE;
}

}  // namespace zepho
