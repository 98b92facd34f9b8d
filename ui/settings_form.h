// The settings window's rules apart from any window system: filling the
// controls, OK with its checks and its take-over order, the rules between the
// check boxes, the interval arrows, the check-address list edits and the
// account box. The window reaches them through SettingsControls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/companion_accounts.h"
#include "settings/settings_file.h"

namespace zepho {

enum class FormEdit { PopAdress, PopPort, PopAcount, PopTime, PassEdit };

enum class FormCheck {
  CheckBox1,       // PopUpSetting
  CheckBox2,       // NotPopup
  CheckBox3,       // IconChange
  AllIconCheck,    // AllIconChange
  TCheckRecvDo,    // RecvDo
  CheckInboxMove,  // InboxMove
  CheckNozari,     // RetrySearchToNozari
  CheckApop,       // Apop
  CheckBalloon,    // Balloon
};

enum class FormButton { chkNewButton, AccountReload };

// Messages the settings window and the check-address editor show with InfoBox.
enum class FormMessage {
  NoPopAddress,     // POPアドレスを入力して下さい
  NoPopPort,        // POPポートを入力して下さい
  NoPopAccount,     // POPアカウントを入力して下さい
  NoPopTime,        // 到着時間を入力して下さい
  PasswordTooLong,  // the password cannot be stored
  NoHeader,         // ヘッダを設定して下さい
  NoAddress,        // チェックアドレスを設定して下さい
};

// The editor's two public fields: set by the caller, read back after the modal
// run; a non-empty EditHeader means the user confirmed.
struct CheckAddressFields {
  std::string EditHeader;
  std::string EditAddress;
};

// The controls of the settings window. Texts are code page 932.
class SettingsControls {
 public:
  virtual ~SettingsControls() = default;

  virtual std::string Text(FormEdit edit) = 0;
  virtual void SetText(FormEdit edit, const std::string& text) = 0;
  virtual bool Checked(FormCheck box) = 0;
  virtual void SetChecked(FormCheck box, bool checked) = 0;
  virtual void SetEnabled(FormCheck box, bool enabled) = 0;
  virtual void SetEnabled(FormButton button, bool enabled) = 0;
  virtual void ShowConnectionTab() = 0;  // TabSheet1 to the front
  virtual void Focus(FormEdit edit) = 0;
  virtual void FocusList() = 0;
  virtual void SetUpDownPosition(std::int32_t position) = 0;
  // The connection's security box: kTlsNone, kTlsStls or kTlsImplicit.
  virtual std::int32_t TlsChoice() = 0;
  virtual void SetTlsChoice(std::int32_t choice) = 0;

  // The account box: SetAccountItems clears its text and items, adds the
  // titles and selects nothing.
  virtual void SetAccountItems(const std::vector<std::string>& titles) = 0;
  virtual void SelectAccount(int index) = 0;
  virtual int SelectedAccount() = 0;  // -1: none
  // Equal without regard to letter case, in the user's locale.
  virtual bool SameTitle(const std::string& a, const std::string& b) = 0;

  // The check-address list view.
  virtual void ClearList() = 0;
  virtual void AddListItem(const CheckAddress& entry) = 0;
  virtual void SetListItem(int index, const CheckAddress& entry) = 0;
  virtual void DeleteListItem(int index) = 0;
  virtual int ListCount() = 0;
  virtual CheckAddress ListItem(int index) = 0;
  virtual int SelectedListItem() = 0;  // -1: none

  virtual void InfoBox(FormMessage message) = 0;
  // The conversion error: "'<text>' は整数ではありません".
  virtual void NotAnInteger(const std::string& text) = 0;
  // The check-address editor, shown modally with `fields` in and out.
  virtual void ShowCheckAddressEditor(CheckAddressFields& fields) = 0;
};

class SettingsForm {
 public:
  SettingsForm(Settings& settings, Profile& profile, MailboxStore& mailbox, AccountTable& accounts,
               SettingsControls& controls)
      : settings_(settings), profile_(profile), mailbox_(mailbox), accounts_(accounts),
        controls_(controls) {}

  // Reloads the settings and the accounts into the controls. A settings file
  // that cannot be written is reported (SettingsWriteError) once all is filled.
  void Fill();
  // Checks the edits and converts the numbers, then saves the values with the
  // list in one update of the profile, and only then takes them over into the
  // record. True when saved (the window then goes); false when a check or a
  // conversion refused (the window stays). A failed write throws
  // SettingsWriteError. Either way, when it is not saved the record is untouched.
  bool OKButtonClick();

  void UpDown1Click(bool up);
  void chkNewButtonClick();
  void chkModButtonClick() { EditEntry(); }
  void ListView1DblClick() { EditEntry(); }
  void ListView1KeyDown(int key);
  void chkDelButtonClick();
  void CheckBox3Click() { IconRule(controls_.Checked(FormCheck::CheckBox3)); }
  void TCheckRecvDoClick() { SortingRule(); }
  void ComboAccountChange() { controls_.SetEnabled(FormButton::AccountReload, true); }
  void ComboTlsChange();
  void AccountReloadClick();

 private:
  bool TakeOverInteger(FormEdit edit, std::int32_t& field);
  void IconRule(bool icon_change);
  void SortingRule();
  void NewRule();
  void EditEntry();

  Settings& settings_;
  Profile& profile_;
  MailboxStore& mailbox_;
  AccountTable& accounts_;
  SettingsControls& controls_;
};

// The check-address editor's OK: which message refuses the fields, if any.
enum class EditorCheck { Ok, NoHeader, NoAddress };
EditorCheck CheckEditorFields(const std::string& header, const std::string& address);

// Whether a password typed in the settings window or the prompt can be stored.
inline bool PasswordFits(const std::string& password) {
  return password.size() <= kMaxStoredPasswordBytes;
}

}  // namespace zepho
