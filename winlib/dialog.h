// A dialog window from the resources. The object is stashed in the window at
// WM_INITDIALOG and every message goes to one of its handlers: OnInit,
// OnCommand, OnNotify, or OnMessage for the rest. An error thrown by a handler
// ends only that handler and is reported by OnError; it never leaves the
// window procedure.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace winlib {

class Dialog {
 public:
  Dialog() = default;
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns the code it was ended with (End).
  INT_PTR RunModal(HINSTANCE instance, int resource, HWND owner);
  // Creates the dialog without showing it; it lives until the object goes.
  bool Create(HINSTANCE instance, int resource, HWND owner);

  HWND Handle() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  std::wstring ItemText(int id) const;
  // Moves the keyboard focus to a control as the Tab key would.
  void FocusItem(int id) const;
  void SetSmallIcon(HICON icon) const;

 protected:
  // The controls exist. True lets the system put the focus on the first one.
  virtual bool OnInit() { return true; }
  // WM_COMMAND of a control (or a menu or accelerator); true when handled.
  virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
  // WM_NOTIFY; a handler that needs a result sets DWLP_MSGRESULT itself.
  virtual bool OnNotify(const NMHDR& /*header*/, LPARAM /*lparam*/) { return false; }
  // Any other message; true (with `result`) when handled.
  virtual bool OnMessage(UINT /*msg*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
  // Shows the error with the narrow API, which needs no memory of ours: it
  // works after a failed allocation too.
  virtual void OnError(const std::exception& e);
  void End(INT_PTR code) { EndDialog(hwnd_, code); }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(UINT msg, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  bool modeless_ = false;
};

// The text of a window, whatever its length.
std::wstring WindowText(HWND window);

// An error box with the program's title as its caption, through the narrow API.
void ShowErrorBox(HWND owner, const std::exception& e);

}  // namespace winlib
