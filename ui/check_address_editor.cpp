#include "ui/check_address_editor.h"

#include "resources/resource.h"
#include "ui/texts.h"
#include "winlib/dialog.h"
#include "winlib/text.h"

namespace zepho::ui {

namespace {

class CheckAddressEditor : public winlib::Dialog {
 public:
  CheckAddressEditor(CheckAddressFields& fields, HICON icon) : fields_(fields), icon_(icon) {}

 private:
  bool OnInit() override {
    SetSmallIcon(icon_);
    const HWND combo = Item(IDC_CA_COMBOBOX1);
    for (const wchar_t* choice : texts::kHeaderChoices)
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
    // Filled once per modal run, not at every activation: a message box
    // closing must not wipe what the user typed.
    SetWindowTextW(combo, winlib::Wide932(fields_.EditHeader).c_str());
    SetDlgItemTextW(Handle(), IDC_CA_EDIT1, winlib::Wide932(fields_.EditAddress).c_str());
    fields_ = {};
    SetFocus(combo);
    return false;  // the focus was set here
  }

  bool OnCommand(int id, int /*code*/) override {
    switch (id) {
      case IDOK: {
        const std::string header = winlib::Narrow932(ItemText(IDC_CA_COMBOBOX1));
        const std::string address = winlib::Narrow932(ItemText(IDC_CA_EDIT1));
        switch (CheckEditorFields(header, address)) {
          case EditorCheck::NoHeader: Refuse(FormMessage::NoHeader, IDC_CA_COMBOBOX1); break;
          case EditorCheck::NoAddress: Refuse(FormMessage::NoAddress, IDC_CA_EDIT1); break;
          case EditorCheck::Ok:
            fields_ = {header, address};  // as typed: no trimming
            End(IDOK);
            break;
        }
        return true;
      }
      case IDCANCEL:  // Cancel, Escape, the close box: the fields stay empty
        End(IDCANCEL);
        return true;
    }
    return false;
  }

  void Refuse(FormMessage message, int focus) {
    MessageBoxW(Handle(), texts::FormMessageText(message), texts::kCaption, MB_OK);
    FocusItem(focus);
  }

  CheckAddressFields& fields_;
  HICON icon_;
};

}  // namespace

void ShowCheckAddressEditor(HINSTANCE instance, HWND owner, HICON small_icon,
                            CheckAddressFields& fields) {
  CheckAddressEditor editor(fields, small_icon);
  editor.RunModal(instance, IDD_CHECKADDRESS, owner);
}

}  // namespace zepho::ui
