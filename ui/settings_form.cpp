#include "ui/settings_form.h"

#include <optional>

namespace zepho {

namespace {

bool On(std::int32_t flag) { return flag != 0; }

}  // namespace

void SettingsForm::Fill() {
  controls_.SetEnabled(FormButton::AccountReload, false);
  // A settings file that cannot be written still loads; the failure is told
  // once the window is filled, so the window never shows half-filled.
  std::optional<SettingsWriteError> write_error;
  try {
    LoadSettings(profile_, settings_);
  } catch (const SettingsWriteError& e) {
    write_error = e;
  }
  EnumerateAccounts(mailbox_, accounts_, settings_);

  controls_.SetText(FormEdit::PopAdress, settings_.PopAddress);
  controls_.SetText(FormEdit::PopPort, std::to_string(settings_.PopPort));
  controls_.SetText(FormEdit::PopAcount, settings_.PopAcount);
  controls_.SetText(FormEdit::PopTime, std::to_string(settings_.PopTime));
  controls_.SetChecked(FormCheck::CheckBox1, On(settings_.PopUpSetting));
  controls_.SetChecked(FormCheck::CheckBox2, On(settings_.NotPopup));
  controls_.SetChecked(FormCheck::CheckBox3, On(settings_.IconChange));
  controls_.SetChecked(FormCheck::AllIconCheck, On(settings_.AllIconChange));
  controls_.SetChecked(FormCheck::TCheckRecvDo, On(settings_.RecvDo));
  controls_.SetChecked(FormCheck::CheckNozari, On(settings_.RetrySearchToNozari));
  controls_.SetChecked(FormCheck::CheckApop, On(settings_.Apop));
  controls_.SetChecked(FormCheck::CheckInboxMove, On(settings_.InboxMove));
  controls_.SetChecked(FormCheck::CheckBalloon, settings_.Balloon == 1);
  controls_.SetTlsChoice(settings_.Tls);
  SortingRule();
  IconRule(controls_.Checked(FormCheck::CheckBox3));

  controls_.SetText(FormEdit::PassEdit, settings_.Passwd);

  std::vector<std::string> titles;
  for (const AccountRow& row : accounts_) titles.push_back(row.title);
  controls_.SetAccountItems(titles);
  for (std::size_t i = 0; i < titles.size(); ++i) {
    if (controls_.SameTitle(titles[i], settings_.AccountTitle)) {
      controls_.SelectAccount(static_cast<int>(i));
      break;
    }
  }

  controls_.SetUpDownPosition(settings_.PopTime);

  controls_.ClearList();
  for (const CheckAddress& entry : ReadCheckAddresses(profile_)) controls_.AddListItem(entry);
  NewRule();

  if (write_error) throw *write_error;
}

bool SettingsForm::OKButtonClick() {
  struct Required { FormEdit edit; FormMessage message; };
  static constexpr Required kRequired[] = {
      {FormEdit::PopAdress, FormMessage::NoPopAddress},
      {FormEdit::PopPort, FormMessage::NoPopPort},
      {FormEdit::PopAcount, FormMessage::NoPopAccount},
      {FormEdit::PopTime, FormMessage::NoPopTime},
  };
  for (const Required& r : kRequired) {
    if (controls_.Text(r.edit).empty()) {
      controls_.InfoBox(r.message);
      controls_.ShowConnectionTab();
      controls_.Focus(r.edit);
      return false;
    }
  }
  // A password that cannot be stored exactly is refused here, where it is typed.
  const std::string password = controls_.Text(FormEdit::PassEdit);
  if (!PasswordFits(password)) {
    controls_.InfoBox(FormMessage::PasswordTooLong);
    controls_.ShowConnectionTab();
    controls_.Focus(FormEdit::PassEdit);
    return false;
  }

  // Everything is taken over into a copy: a refused conversion or a failed
  // save leaves the record as the file has it, which is what Cancel then keeps.
  Settings next = settings_;
  next.Passwd = password;
  next.PopAddress = controls_.Text(FormEdit::PopAdress);
  next.PopAcount = controls_.Text(FormEdit::PopAcount);
  if (!TakeOverInteger(FormEdit::PopPort, next.PopPort)) return false;
  if (!TakeOverInteger(FormEdit::PopTime, next.PopTime)) return false;
  const auto flag = [&](FormCheck box) -> std::int32_t { return controls_.Checked(box) ? 1 : 0; };
  next.PopUpSetting = flag(FormCheck::CheckBox1);
  next.NotPopup = flag(FormCheck::CheckBox2);
  next.RecvDo = flag(FormCheck::TCheckRecvDo);
  next.RetrySearchToNozari = flag(FormCheck::CheckNozari);
  next.IconChange = flag(FormCheck::CheckBox3);
  next.AllIconChange = flag(FormCheck::AllIconCheck);
  next.Apop = flag(FormCheck::CheckApop);
  next.InboxMove = flag(FormCheck::CheckInboxMove);
  next.Balloon = flag(FormCheck::CheckBalloon);
  next.Tls = controls_.TlsChoice();

  const int chosen = controls_.SelectedAccount();
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= accounts_.size()) {
    next.AccountTitle.clear();
    next.AccountPath.clear();
  } else {
    ChooseAccount(mailbox_, accounts_[static_cast<std::size_t>(chosen)], next);
  }

  IconRule(On(next.IconChange));

  std::vector<CheckAddress> entries;
  const int count = controls_.ListCount();
  for (int i = 0; i < count; ++i) entries.push_back(controls_.ListItem(i));
  // The settings and the list reach the file together, in one replacement.
  ProfileUpdate update(profile_);
  SaveSettings(profile_, next);
  WriteCheckAddresses(profile_, entries);
  if (!update.Commit()) throw SettingsWriteError(profile_.Path());
  settings_ = std::move(next);
  return true;
}

bool SettingsForm::TakeOverInteger(FormEdit edit, std::int32_t& field) {
  const std::string text = controls_.Text(edit);
  const std::optional<std::int32_t> value = ParseInteger(text);
  if (!value) {
    controls_.NotAnInteger(text);
    return false;
  }
  field = *value;
  return true;
}

void SettingsForm::UpDown1Click(bool up) {
  const std::string text = controls_.Text(FormEdit::PopTime);
  const std::optional<std::int32_t> value = ParseInteger(text);
  if (!value) {
    controls_.NotAnInteger(text);
    return;
  }
  if (up && *value < 99) controls_.SetText(FormEdit::PopTime, std::to_string(*value + 1));
  if (!up && *value > 1) controls_.SetText(FormEdit::PopTime, std::to_string(*value - 1));
}

void SettingsForm::IconRule(bool icon_change) {
  controls_.SetEnabled(FormCheck::CheckBox1, !icon_change);
  controls_.SetEnabled(FormCheck::AllIconCheck, icon_change);
}

void SettingsForm::SortingRule() {
  const bool sorting = controls_.Checked(FormCheck::TCheckRecvDo);
  controls_.SetEnabled(FormCheck::CheckInboxMove, sorting);
  controls_.SetEnabled(FormCheck::CheckNozari, sorting);
}

void SettingsForm::NewRule() {
  controls_.SetEnabled(FormButton::chkNewButton, controls_.ListCount() < kMaxCheckAddresses);
}

void SettingsForm::chkNewButtonClick() {
  CheckAddressFields fields;
  controls_.ShowCheckAddressEditor(fields);
  if (!fields.EditHeader.empty()) {
    controls_.AddListItem({0, fields.EditHeader, fields.EditAddress});
    NewRule();
  }
  controls_.FocusList();
}

void SettingsForm::EditEntry() {
  const int selected = controls_.SelectedListItem();
  if (selected < 0) return;
  const CheckAddress item = controls_.ListItem(selected);
  CheckAddressFields fields{item.header, item.address};
  controls_.ShowCheckAddressEditor(fields);
  if (!fields.EditHeader.empty()) {
    controls_.SetListItem(selected, {item.number, fields.EditHeader, fields.EditAddress});
    NewRule();
  }
  controls_.FocusList();
}

void SettingsForm::ListView1KeyDown(int key) {
  if (key == 13) EditEntry();
}

void SettingsForm::chkDelButtonClick() {
  const int selected = controls_.SelectedListItem();
  if (selected >= 0) {
    controls_.DeleteListItem(selected);
    NewRule();
  }
  controls_.FocusList();
}

void SettingsForm::AccountReloadClick() {
  const int chosen = controls_.SelectedAccount();
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= accounts_.size()) return;
  const AccountSettings a =
      LoadAccountSettings(mailbox_, accounts_[static_cast<std::size_t>(chosen)], settings_.PopPort);
  controls_.SetText(FormEdit::PopAdress, a.server);
  controls_.SetText(FormEdit::PopPort, a.port);
  controls_.SetText(FormEdit::PopAcount, a.account);
  controls_.SetText(FormEdit::PassEdit, "");
  controls_.SetEnabled(FormButton::AccountReload, false);
}

void SettingsForm::ComboTlsChange() {
  // The usual port of the chosen kind is suggested only while the port box
  // still holds the other kind's: a port the user typed is left alone.
  const std::string port = controls_.Text(FormEdit::PopPort);
  if (controls_.TlsChoice() == kTlsImplicit) {
    if (port == "110") controls_.SetText(FormEdit::PopPort, "995");
  } else if (port == "995") {
    controls_.SetText(FormEdit::PopPort, "110");
  }
}

EditorCheck CheckEditorFields(const std::string& header, const std::string& address) {
  if (header.empty()) return EditorCheck::NoHeader;
  if (address.empty()) return EditorCheck::NoAddress;
  return EditorCheck::Ok;
}

}  // namespace zepho
