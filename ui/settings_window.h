// The settings window (the dialog IDD_MAIN): the three tabs, the tooltip, the
// list view, the account box, the control events routed to the form's rules,
// and its own buttons and close box routed to the main form.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "ui/settings_form.h"
#include "winlib/dialog.h"
#include "winlib/handles.h"

namespace zepho::ui {

// What the window's own buttons and its close box ask of the program.
class SettingsWindowEvents {
 public:
  virtual ~SettingsWindowEvents() = default;
  virtual void OKButtonClick() = 0;
  virtual void CANButtonClick() = 0;
  virtual void VerBtnClick() = 0;
  virtual void ZephoEndBtnClick() = 0;
  // Escape that reached the window itself: typed into one of its controls,
  // buttons included, it stays with that control (winlib::Application).
  virtual void OnEscape() = 0;
  virtual void CloseBoxClick() = 0;  // the close box ends the program
};

class SettingsWindow : public winlib::Dialog, public SettingsControls {
 public:
  explicit SettingsWindow(HINSTANCE instance) : instance_(instance) {}

  // Creates the window, hidden, with its controls set up.
  bool Create(HWND owner, SettingsForm& form, SettingsWindowEvents& events);
  // Puts the keyboard focus on a control of the window.
  void FocusControl(int id) { FocusItem(id); }

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
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  bool OnNotify(const NMHDR& header, LPARAM lparam) override;
  bool OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;
  // A failed settings write is told in its own words; anything else as the program's error.
  void OnError(const std::exception& e) override;

  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  void ShowPage(int page);
  void SetupList();
  void SetupTooltip();
  void SetupFonts();

  HINSTANCE instance_;
  HWND tooltip_ = nullptr;
  SettingsForm* form_ = nullptr;
  SettingsWindowEvents* events_ = nullptr;
  winlib::UniqueFont font13_;
  winlib::UniqueFont font15_;
};

}  // namespace zepho::ui
