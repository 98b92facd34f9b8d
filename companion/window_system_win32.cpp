#include "companion/window_system_win32.h"

#include <windows.h>

#include <exception>
#include <vector>

#include "common/cp932.h"
#include "winlib/text.h"

namespace zepho {

namespace {

HWND H(WindowId w) { return reinterpret_cast<HWND>(w); }
HMENU M(MenuId m) { return reinterpret_cast<HMENU>(m); }

// What a read into a byte buffer of that size keeps: buffer - 1 bytes at most.
std::string Fit(const std::wstring& text, std::size_t buffer) {
  return buffer ? CutAt932(winlib::Narrow932(text), buffer - 1) : std::string();
}

struct Enumeration {
  const std::function<bool(WindowId)>* visit;
  std::exception_ptr error;
};

BOOL CALLBACK EnumProc(HWND h, LPARAM lparam) {
  auto* e = reinterpret_cast<Enumeration*>(lparam);
  // No exception may unwind through the system's frames: it is carried over.
  try {
    return (*e->visit)(reinterpret_cast<WindowId>(h)) ? TRUE : FALSE;
  } catch (...) {
    e->error = std::current_exception();
    return FALSE;
  }
}

}  // namespace

void WindowSystemWin32::EnumerateWindows(const std::function<bool(WindowId)>& visit) {
  Enumeration e{&visit, nullptr};
  EnumWindows(EnumProc, reinterpret_cast<LPARAM>(&e));
  if (e.error) std::rethrow_exception(e.error);
}

std::string WindowSystemWin32::WindowTitle(WindowId w, std::size_t buffer) {
  // The text of another program's window is read without a message to it, so a
  // hung program cannot hold the search.
  std::vector<wchar_t> text(buffer + 1, L'\0');
  const int n = GetWindowTextW(H(w), text.data(), static_cast<int>(buffer));
  return Fit(std::wstring(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0), buffer);
}

std::string WindowSystemWin32::ClassName(WindowId w, std::size_t buffer) {
  std::vector<wchar_t> text(buffer + 1, L'\0');
  const int n = GetClassNameW(H(w), text.data(), static_cast<int>(buffer));
  return Fit(std::wstring(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0), buffer);
}

WindowId WindowSystemWin32::FindByClass(const std::string& class_name) {
  return reinterpret_cast<WindowId>(FindWindowW(winlib::Wide932(class_name).c_str(), nullptr));
}

WindowId WindowSystemWin32::FindByTitle(const std::string& title) {
  return reinterpret_cast<WindowId>(FindWindowW(nullptr, winlib::Wide932(title).c_str()));
}

bool WindowSystemWin32::Exists(WindowId w) { return w && IsWindow(H(w)); }

bool WindowSystemWin32::Visible(WindowId w) { return w && IsWindowVisible(H(w)) == TRUE; }

void WindowSystemWin32::SetForeground(WindowId w) { SetForegroundWindow(H(w)); }

bool WindowSystemWin32::Send(WindowId w, std::uint32_t message, std::uintptr_t wparam,
                             std::intptr_t lparam, std::uint32_t bound_ms) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(H(w), message, static_cast<WPARAM>(wparam),
                             static_cast<LPARAM>(lparam), SMTO_ABORTIFHUNG, bound_ms,
                             &result) != 0;
}

MenuId WindowSystemWin32::MenuBar(WindowId w) {
  return reinterpret_cast<MenuId>(GetMenu(H(w)));
}

MenuId WindowSystemWin32::SubMenu(MenuId menu, int position) {
  return menu ? reinterpret_cast<MenuId>(GetSubMenu(M(menu), position)) : 0;
}

int WindowSystemWin32::MenuItemCount(MenuId menu) { return GetMenuItemCount(M(menu)); }

std::string WindowSystemWin32::MenuText(MenuId menu, int position, std::size_t buffer) {
  std::vector<wchar_t> text(buffer + 1, L'\0');
  const int n = GetMenuStringW(M(menu), static_cast<UINT>(position), text.data(),
                               static_cast<int>(buffer), MF_BYPOSITION);
  return Fit(std::wstring(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0), buffer);
}

std::uint32_t WindowSystemWin32::MenuState(MenuId menu, int position) {
  return GetMenuState(M(menu), static_cast<UINT>(position), MF_BYPOSITION);
}

void WindowSystemWin32::Sleep(std::uint32_t ms) { ::Sleep(ms); }

void WindowSystemWin32::Pump() { pump_(); }

void WindowSystemWin32::WaitForMessage(std::uint32_t ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
}

std::uint32_t WindowSystemWin32::NowMs() { return GetTickCount(); }

}  // namespace zepho
