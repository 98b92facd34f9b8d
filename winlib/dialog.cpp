#include "winlib/dialog.h"

#include "winlib/application.h"

namespace winlib {

Dialog::~Dialog() {
  if (modeless_ && hwnd_) DestroyWindow(hwnd_);
}

INT_PTR Dialog::RunModal(HINSTANCE instance, int resource, HWND owner) {
  const INT_PTR code = DialogBoxParamW(instance, MAKEINTRESOURCEW(resource), owner, Proc,
                                       reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return code;
}

bool Dialog::Create(HINSTANCE instance, int resource, HWND owner) {
  modeless_ = true;
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(resource), owner, Proc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring Dialog::ItemText(int id) const { return WindowText(Item(id)); }

void Dialog::FocusItem(int id) const {
  SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

void Dialog::SetSmallIcon(HICON icon) const {
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Dialog::OnError(const std::exception& e) { ShowErrorBox(hwnd_, e); }

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Dialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
  if (!self) return FALSE;
  try {
    return self->Dispatch(msg, wparam, lparam);
  } catch (const std::exception& e) {
    self->OnError(e);
    return msg == WM_INITDIALOG ? TRUE : FALSE;
  }
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: return OnInit() ? TRUE : FALSE;
    case WM_COMMAND: return OnCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam), lparam) ? TRUE : FALSE;
  }
  INT_PTR result = FALSE;
  return OnMessage(msg, wparam, lparam, result) ? result : FALSE;
}

}  // namespace winlib
