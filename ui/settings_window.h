// The settings window's controls: the three tabs, the tooltip, the list view,
// the account box, and the control events routed to the form's rules. The
// window itself (created by the main form) is the dialog IDD_MAIN.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "settings/settings_form.h"
#include "winlib/handles.h"

namespace zepho::ui {

class SettingsWindow : public SettingsControls {
 public:
  explicit SettingsWindow(HINSTANCE instance) : instance_(instance) {}
  SettingsWindow(const SettingsWindow&) = delete;
  SettingsWindow& operator=(const SettingsWindow&) = delete;

  // Sets the controls up; called once from the dialog's WM_INITDIALOG.
  void Attach(HWND dialog, SettingsForm& form);
  // The events of the controls on the tabs; true when handled.
  bool OnCommand(WPARAM wparam, LPARAM lparam);
  bool OnNotify(LPARAM lparam);
  // Puts the keyboard focus on a control of the window.
  void FocusControl(int id);

  // SettingsControls
  std::string Text(FormEdit edit) override;
  void SetText(FormEdit edit, const std::string& text) override;
  bool Checked(FormCheck box) override;
  void SetChecked(FormCheck box, bool checked) override;
  void SetEnabled(FormCheck box, bool enabled) override;
  void SetEnabled(FormButton button, bool enabled) override;
  void ShowConnectionTab() override;
  void Focus(FormEdit edit) override;
  void FocusList() override;
  void SetUpDownPosition(std::int32_t position) override;
  std::int32_t TlsChoice() override;
  void SetTlsChoice(std::int32_t choice) override;
  void SetAccountItems(const std::vector<std::string>& titles) override;
  void SelectAccount(int index) override;
  int SelectedAccount() override;
  bool SameTitle(const std::string& a, const std::string& b) override;
  void ClearList() override;
  void AddListItem(const CheckAddress& entry) override;
  void SetListItem(int index, const CheckAddress& entry) override;
  void DeleteListItem(int index) override;
  int ListCount() override;
  CheckAddress ListItem(int index) override;
  int SelectedListItem() override;
  void InfoBox(FormMessage message) override;
  void NotAnInteger(const std::string& text) override;
  void ShowCheckAddressEditor(CheckAddressFields& fields) override;

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  void ShowPage(int page);
  void SetupList();
  void SetupTooltip();
  void SetupFonts();

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
  HWND tooltip_ = nullptr;
  SettingsForm* form_ = nullptr;
  winlib::UniqueFont font13_;
  winlib::UniqueFont font15_;
};

}  // namespace zepho::ui
