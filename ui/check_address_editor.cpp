#include "ui/check_address_editor.h"

#include "app/texts_win32.h"
#include "resources/resource.h"
#include "winlib/text.h"

namespace zepho::ui {

namespace {

struct EditorState {
  CheckAddressFields* fields;
  HICON icon;
};

std::string ItemText932(HWND dlg, int id) {
  const HWND item = GetDlgItem(dlg, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return winlib::Narrow932(text);
}

void Refuse(HWND dlg, FormMessage message, int focus) {
  MessageBoxW(dlg, texts::FormMessageText(message), texts::kCaption, MB_OK);
  SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, focus)), TRUE);
}

INT_PTR CALLBACK EditorProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<EditorState*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dlg, DWLP_USER, lparam);
      state = reinterpret_cast<EditorState*>(lparam);
      SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->icon));
      const HWND combo = GetDlgItem(dlg, IDC_CA_COMBOBOX1);
      for (const wchar_t* choice : texts::kHeaderChoices)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
      // Filled once per modal run, not at every activation: a message box
      // closing must not wipe what the user typed.
      SetWindowTextW(combo, winlib::Wide932(state->fields->EditHeader).c_str());
      SetDlgItemTextW(dlg, IDC_CA_EDIT1, winlib::Wide932(state->fields->EditAddress).c_str());
      *state->fields = {};
      SetFocus(combo);
      return FALSE;  // the focus was set here
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          const std::string header = ItemText932(dlg, IDC_CA_COMBOBOX1);
          const std::string address = ItemText932(dlg, IDC_CA_EDIT1);
          switch (CheckEditorFields(header, address)) {
            case EditorCheck::NoHeader: Refuse(dlg, FormMessage::NoHeader, IDC_CA_COMBOBOX1); break;
            case EditorCheck::NoAddress: Refuse(dlg, FormMessage::NoAddress, IDC_CA_EDIT1); break;
            case EditorCheck::Ok:
              *state->fields = {header, address};  // as typed: no trimming
              EndDialog(dlg, IDOK);
              break;
          }
          return TRUE;
        }
        case IDCANCEL:  // Cancel, Escape, the close box: the fields stay empty
          EndDialog(dlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void ShowCheckAddressEditor(HINSTANCE instance, HWND owner, HICON small_icon,
                            CheckAddressFields& fields) {
  EditorState state{&fields, small_icon};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CHECKADDRESS), owner, EditorProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace zepho::ui
