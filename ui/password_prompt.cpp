#include "ui/password_prompt.h"

#include "resources/resource.h"
#include "ui/settings_form.h"
#include "ui/texts.h"
#include "winlib/dialog.h"
#include "winlib/text.h"

namespace zepho::ui {

namespace {

class PasswordPrompt : public winlib::Dialog {
 public:
  explicit PasswordPrompt(HICON icon) : icon_(icon) {}
  std::optional<std::string> typed;

 private:
  bool OnInit() override {
    SetSmallIcon(icon_);
    const HWND edit = Item(IDC_PW_EDIT);
    SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
    SetWindowTextW(edit, L"");
    SetFocus(edit);
    return false;  // the focus was set here
  }

  bool OnCommand(int id, int /*code*/) override {
    switch (id) {
      case IDOK: {  // Enter
        const std::wstring text = ItemText(IDC_PW_EDIT);
        if (text.empty()) return true;  // nothing happens; the prompt stays
        std::string password = winlib::Narrow932(text);
        if (!PasswordFits(password)) {  // it could not be stored: say so, stay
          MessageBoxW(Handle(), texts::kPasswordTooLong, texts::kCaption, MB_OK);
          SetFocus(Item(IDC_PW_EDIT));
          return true;
        }
        typed = std::move(password);
        End(IDOK);
        return true;
      }
      case IDCANCEL:  // Escape or the close box
        End(IDCANCEL);
        return true;
    }
    return false;
  }

  HICON icon_;
};

}  // namespace

std::optional<std::string> ShowPasswordPrompt(HINSTANCE instance, HWND owner, HICON small_icon) {
  PasswordPrompt prompt(small_icon);
  prompt.RunModal(instance, IDD_PASSWORD, owner);
  return prompt.typed;
}

}  // namespace zepho::ui
