#include "app/tray_menu_win32.h"

#include "app/texts_win32.h"

namespace zepho {

namespace {
UINT Id(TrayMenu::Command c) { return static_cast<UINT>(c); }
}  // namespace

TrayMenu::TrayMenu() : menu_(CreatePopupMenu()) {
  using C = Command;
  HMENU corvel = CreatePopupMenu();  // KCorvel1; destroyed with the menu
  AppendMenuW(corvel, MF_STRING, Id(C::KTaskTray1), texts::kMenuToTray);
  AppendMenuW(corvel, MF_STRING, Id(C::K2), texts::kMenuIconize);
  AppendMenuW(corvel, MF_STRING, Id(C::K3), texts::kMenuPopUp);
  AppendMenuW(corvel, MF_STRING, Id(C::K4), texts::kMenuReceive);

  HMENU m = menu_.get();
  AppendMenuW(m, MF_STRING, Id(C::K5), texts::kMenuVersion);
  AppendMenuW(m, MF_STRING, Id(C::K1), texts::kMenuSettings);
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);  // N2
  AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(corvel), texts::kMenuCorvel);
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);  // N1
  AppendMenuW(m, MF_STRING, Id(C::KCheckNow), texts::kMenuCheckNow);
  AppendMenuW(m, MF_STRING, Id(C::KResults), texts::kMenuResults);
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING, Id(C::K6mStop), texts::kPauseCheck);
  AppendMenuW(m, MF_STRING, Id(C::KZEPHO1), texts::kMenuQuit);
}

TrayMenu::Command TrayMenu::Show(HWND window, bool enabled, const std::function<void()>& pump) {
  POINT at{};
  GetCursorPos(&at);
  for (int i = 0; i < kTopLevelItems; ++i)
    EnableMenuItem(menu_.get(), static_cast<UINT>(i), MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window);
  pump();
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu_.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
  // Lets the menu's window go after it closed, so the next one opens at the first click.
  PostMessageW(window, WM_NULL, 0, 0);
  return chosen >= Id(Command::K5) && chosen <= Id(Command::KResults) ? static_cast<Command>(chosen)
                                                                     : Command::None;
}

void TrayMenu::ShowPaused(bool paused) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_STATE;
  info.dwTypeData = const_cast<wchar_t*>(paused ? texts::kResumeCheck : texts::kPauseCheck);
  info.fState = paused ? MFS_CHECKED : MFS_UNCHECKED;
  // The enabled state is set again each time the menu opens.
  SetMenuItemInfoW(menu_.get(), Id(Command::K6mStop), FALSE, &info);
}

}  // namespace zepho
