#include "ui/version_window.h"

#include "resources/resource.h"

namespace zepho::ui {

namespace {

INT_PTR CALLBACK VersionProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      SendMessageW(dlg, WM_SETICON, ICON_SMALL, lparam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {  // OK, Escape
        EndDialog(dlg, LOWORD(wparam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void ShowVersionWindow(HINSTANCE instance, HWND owner, HICON small_icon) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_VERSION), owner, VersionProc,
                  reinterpret_cast<LPARAM>(small_icon));
}

}  // namespace zepho::ui
