// The application object: a hidden top-level window that carries the taskbar
// button and receives the program's posted messages, and the message loop.
#pragma once

#include <windows.h>

#include <vector>

namespace winlib {

class Application {
 public:
  bool Initialize(HINSTANCE instance, const wchar_t* title);
  HWND Handle() const { return window_; }
  HINSTANCE Instance() const { return instance_; }

  // Whether starting the message loop shows the main form.
  bool ShowMainForm = false;
  // The main form takes the dialog keys (Tab, Enter, Escape) of the loop.
  void SetMainForm(HWND form) { main_form_ = form; }
  // A modeless dialog that takes its dialog keys (Tab, Escape) from the loop,
  // until it is removed.
  void AddDialog(HWND dialog);
  void RemoveDialog(HWND dialog);

  // Runs until Terminate or a quit message; returns the quit message's code.
  int Run();
  // Dispatches every message already waiting, then returns.
  void ProcessMessages();
  void Terminate();

 private:
  bool Dispatch(MSG& msg);

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND main_form_ = nullptr;
  std::vector<HWND> dialogs_;
  bool terminated_ = false;
  int exit_code_ = 0;
};

}  // namespace winlib
