#include "winlib/application.h"

#include "winlib/dialog.h"

namespace winlib {

namespace {
constexpr wchar_t kClassName[] = L"ZEPHOApplication";
// The caption of error boxes, made at start-up: showing an error must not need
// memory (it may be reporting a failed allocation).
char g_error_caption[64] = "";
}  // namespace

void ShowErrorBox(HWND owner, const std::exception& e) {
  MessageBoxA(owner, e.what(), g_error_caption, MB_OK | MB_ICONERROR);
}

bool Application::Initialize(HINSTANCE instance, const wchar_t* title) {
  instance_ = instance;
  if (!WideCharToMultiByte(CP_ACP, 0, title, -1, g_error_caption, sizeof g_error_caption,
                           nullptr, nullptr))
    g_error_caption[0] = '\0';
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, L"MAINICON");
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  // A captioned window of no size: visible, it is only the taskbar button.
  window_ = CreateWindowExW(0, kClassName, title,
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, instance, nullptr);
  return window_ != nullptr;
}

bool Application::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    exit_code_ = static_cast<int>(msg.wParam);
    return false;
  }
  // The main form does not preview its controls' keys: Escape typed into one
  // of them (a button, an edit, the list) stays with that control, and only
  // Escape that reaches the form itself becomes its Cancel (IDCANCEL).
  const bool escape = (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP ||
                       msg.message == WM_CHAR) &&
                      msg.wParam == VK_ESCAPE;
  const bool for_a_control = main_form_ && msg.hwnd != main_form_ && IsChild(main_form_, msg.hwnd);
  if (main_form_ && !(escape && for_a_control) && IsDialogMessageW(main_form_, &msg)) return true;
  for (HWND dialog : dialogs_)
    if ((msg.hwnd == dialog || IsChild(dialog, msg.hwnd)) && IsDialogMessageW(dialog, &msg))
      return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

int Application::Run() {
  if (ShowMainForm && main_form_) ShowWindow(main_form_, SW_SHOW);
  MSG msg;
  while (!terminated_) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == -1) break;
    if (r == 0) {
      terminated_ = true;
      exit_code_ = static_cast<int>(msg.wParam);
      break;
    }
    Dispatch(msg);
  }
  return exit_code_;
}

void Application::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!Dispatch(msg)) {
      PostQuitMessage(exit_code_);  // leave it for the main loop
      break;
    }
  }
}

void Application::AddDialog(HWND dialog) {
  if (dialog) dialogs_.push_back(dialog);
}

void Application::RemoveDialog(HWND dialog) { std::erase(dialogs_, dialog); }

void Application::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

}  // namespace winlib
