#include "ui/password_prompt.h"

#include "app/texts_win32.h"
#include "resources/resource.h"
#include "settings/settings_form.h"
#include "winlib/text.h"

namespace zepho::ui {

namespace {

struct PromptState {
  const PasswordPromptActions* actions;
  HICON icon;
};

std::wstring EditText(HWND edit) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return text;
}

INT_PTR CALLBACK PromptProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dlg, DWLP_USER, lparam);
      state = reinterpret_cast<PromptState*>(lparam);
      SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->icon));
      HWND edit = GetDlgItem(dlg, IDC_PW_EDIT);
      SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
      SetWindowTextW(edit, L"");
      SetFocus(edit);
      return FALSE;  // the focus was set here
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {  // Enter
          const std::wstring text = EditText(GetDlgItem(dlg, IDC_PW_EDIT));
          if (text.empty()) return TRUE;  // nothing happens; the prompt stays
          const std::string password = winlib::Narrow932(text);
          if (!PasswordFits(password)) {  // it could not be stored: say so, stay
            MessageBoxW(dlg, texts::kPasswordTooLong, texts::kCaption, MB_OK);
            SetFocus(GetDlgItem(dlg, IDC_PW_EDIT));
            return TRUE;
          }
          EndDialog(dlg, IDOK);
          state->actions->accept(password);
          return TRUE;
        }
        case IDCANCEL:  // Escape or the close box
          state->actions->give_up();
          EndDialog(dlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void ShowPasswordPrompt(HINSTANCE instance, HWND owner, HICON small_icon,
                        const PasswordPromptActions& actions) {
  PromptState state{&actions, small_icon};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner, PromptProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace zepho::ui
