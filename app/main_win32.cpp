// The program entry: the application object, the main form, the message loop.
#include <winsock2.h>
#include <windows.h>

#include <exception>

#include "app/main_form_win32.h"
#include "app/texts_win32.h"
#include "winlib/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  try {
    winlib::Application app;
    if (!app.Initialize(instance, zepho::texts::kCaption)) return 0;
    zepho::TForm1 form(app);
    if (!form.FormCreate()) {
      form.FormClose();
      return 0;
    }
    app.ShowMainForm = false;
    ShowWindow(app.Handle(), SW_HIDE);
    // Installed before the loop runs, so before the first posted message of
    // the program is dispatched.
    form.InstallAppWindowProc();
    app.Run();
    form.FormClose();
  } catch (const std::exception& e) {
    MessageBoxA(nullptr, e.what(), "ZEPHO", MB_OK | MB_ICONERROR);
  }
  return 0;
}
