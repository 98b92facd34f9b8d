#include "ui/settings_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "fakes/memory_ini_file.h"
#include "fakes/memory_profile.h"
#include "fakes/table_codec932.h"
#include "settings/document_profile.h"

namespace zepho {

// The record in a failed comparison: the fields a check uses.
static void PrintTo(const Settings& s, std::ostream* os) {
  *os << "{" << s.PopAddress << ":" << s.PopPort << " tls=" << s.Tls << " " << s.PopAcount << "/"
      << s.Passwd << " apop=" << s.Apop << " time=" << s.PopTime << " icon=" << s.IconChange
      << " account=" << s.AccountTitle << "}";
}

namespace {

using testing::MemoryProfile;
using Events = std::vector<std::string>;

const char* Name(FormEdit e) {
  switch (e) {
    case FormEdit::PopAdress: return "PopAdress";
    case FormEdit::PopPort: return "PopPort";
    case FormEdit::PopAcount: return "PopAcount";
    case FormEdit::PopTime: return "PopTime";
    case FormEdit::PassEdit: return "PassEdit";
  }
  return "?";
}

// The window's controls as plain values; what the form shows and asks is
// recorded as short event strings.
struct FakeControls : SettingsControls {
  std::map<FormEdit, std::string> texts;
  std::map<FormCheck, bool> checked, check_enabled;
  std::map<FormButton, bool> button_enabled;
  std::vector<std::string> accounts;
  int account = -1;
  std::vector<CheckAddress> list;
  int selected = -1;
  std::int32_t updown = 0;
  std::int32_t tls = -1;
  Events events;
  // What the user does in the editor, one entry per time it is shown.
  std::deque<std::function<void(CheckAddressFields&)>> editor;
  std::vector<CheckAddressFields> editor_opened_with;

  std::string Text(FormEdit e) override { return texts[e]; }
  void SetText(FormEdit e, const std::string& t) override { texts[e] = t; }
  bool Checked(FormCheck b) override { return checked[b]; }
  void SetChecked(FormCheck b, bool on) override { checked[b] = on; }
  void SetEnabled(FormCheck b, bool on) override { check_enabled[b] = on; }
  void SetEnabled(FormButton b, bool on) override { button_enabled[b] = on; }
  void ShowConnectionTab() override { events.push_back("tab 接続"); }
  void Focus(FormEdit e) override { events.push_back(std::string("focus ") + Name(e)); }
  void FocusList() override { events.push_back("focus list"); }
  void SetUpDownPosition(std::int32_t p) override { updown = p; }
  std::int32_t TlsChoice() override { return tls; }
  void SetTlsChoice(std::int32_t choice) override { tls = choice; }
  void SetAccountItems(const std::vector<std::string>& titles) override {
    accounts = titles;
    account = -1;
  }
  void SelectAccount(int i) override { account = i; }
  int SelectedAccount() override { return account; }
  bool SameTitle(const std::string& a, const std::string& b) override {
    // Letter case of ASCII only: enough for the rule's tests.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  }
  void ClearList() override {
    list.clear();
    selected = -1;
  }
  void AddListItem(const CheckAddress& e) override { list.push_back(e); }
  void SetListItem(int i, const CheckAddress& e) override { list.at(static_cast<size_t>(i)) = e; }
  void DeleteListItem(int i) override {
    list.erase(list.begin() + i);
    selected = -1;
  }
  int ListCount() override { return static_cast<int>(list.size()); }
  CheckAddress ListItem(int i) override { return list.at(static_cast<size_t>(i)); }
  int SelectedListItem() override { return selected; }
  void InfoBox(FormMessage m) override { events.push_back(std::string("info ") + NameOf(m)); }
  static const char* NameOf(FormMessage m) {
    switch (m) {
      case FormMessage::NoPopAddress: return "NoPopAddress";
      case FormMessage::NoPopPort: return "NoPopPort";
      case FormMessage::NoPopAccount: return "NoPopAccount";
      case FormMessage::NoPopTime: return "NoPopTime";
      case FormMessage::PasswordTooLong: return "PasswordTooLong";
      case FormMessage::NoHeader: return "NoHeader";
      case FormMessage::NoAddress: return "NoAddress";
    }
    return "?";
  }
  void NotAnInteger(const std::string& text) override {
    events.push_back("'" + text + "' は整数ではありません");
  }
  void ShowCheckAddressEditor(CheckAddressFields& fields) override {
    editor_opened_with.push_back(fields);
    events.push_back("editor");
    if (editor.empty()) {
      fields = {};  // cancelled
      return;
    }
    editor.front()(fields);
    editor.pop_front();
  }
};

// The mail client's folders: one account folder per entry, each with its Account.ini.
struct FakeMailbox : MailboxStore {
  struct Account {
    std::string title;
    std::string folder;  // the folder's name below C:\Corvel\Mailbox
  };
  std::vector<Account> accounts;
  std::map<std::string, std::map<std::string, std::string>> ini;  // path -> key -> value

  static std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
  static std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

  MailboxPath ReadMailboxPath() override {
    if (accounts.empty()) return {};
    return {MailboxPath::Kind::Text, L"C:\\Corvel"};
  }
  void FindFiles(const std::wstring&, const std::function<bool(const FolderEntry&)>& visit) override {
    for (const Account& a : accounts)
      if (!visit({Widen(a.folder), true, false, false})) return;
  }
  std::string ReadIniString(const std::wstring& wpath, const std::string&, const std::string& key,
                            const std::string& def) override {
    const std::string path = Narrow(wpath);
    if (key == "Title") {
      for (const Account& a : accounts)
        if (path == "C:\\Corvel\\Mailbox\\" + a.folder + "\\Account.ini") return a.title;
    }
    auto f = ini.find(path);
    if (f == ini.end()) return def;
    auto k = f->second.find(key);
    return k == f->second.end() ? def : k->second;
  }
  std::optional<std::string> ReadFile(const std::wstring&) override { return std::nullopt; }
  // The test's paths are ASCII: stored as they are.
  std::string StoredPath(const std::wstring& path) override { return Narrow(path); }
  std::wstring PathFromStored(const std::string& stored) override { return Widen(stored); }
};

struct SettingsFormTest : ::testing::Test {
  Settings settings;
  MemoryProfile profile;
  FakeMailbox mailbox;
  AccountTable accounts;
  FakeControls controls;
  SettingsForm form{settings, profile, mailbox, accounts, controls};

  void SetEntries(int n) {
    profile.Set("CHECKADDRESS", "SettingNumber", std::to_string(n));
    for (int i = 1; i <= n; ++i) {
      profile.Set("CHECKADDRESS", "CheckString" + std::to_string(i), "\"From:\"");
      profile.Set("CHECKADDRESS", "CheckString" + std::to_string(i) + "+A",
                  "\"a" + std::to_string(i) + "@example.jp\"");
    }
  }
  // The four required edits filled with valid values.
  void TypeValid() {
    controls.texts[FormEdit::PopAdress] = "pop.example.jp";
    controls.texts[FormEdit::PopPort] = "110";
    controls.texts[FormEdit::PopAcount] = "taro";
    controls.texts[FormEdit::PopTime] = "5";
  }
  std::string Stored(const std::string& section, const std::string& key) {
    const MemoryProfile::Key* k = profile.FindKey(section, key);
    return k ? k->value : "<none>";
  }
};

TEST_F(SettingsFormTest, FillPutsTheFileIntoTheControls) {
  profile.Set("NETWORK", "PopAddress", "\"pop.example.jp\"");
  profile.Set("NETWORK", "PopAcount", "\"taro\"");
  profile.Set("NETWORK", "PopPort", "0x6E");
  profile.Set("NETWORK", "Apop", "1");
  profile.Set("NETWORK", "Passwd", StoredPasswordValue("abc"));
  profile.Set("OTHER", "PopTime", "12");
  profile.Set("OTHER", "PopUpSetting", "2");  // nonzero shows as checked
  profile.Set("OTHER", "NotPopup", "1");
  profile.Set("OTHER", "InboxMove", "1");
  SetEntries(2);
  controls.button_enabled[FormButton::AccountReload] = true;

  form.Fill();

  EXPECT_EQ(controls.texts[FormEdit::PopAdress], "pop.example.jp");
  EXPECT_EQ(controls.texts[FormEdit::PopPort], "110");
  EXPECT_EQ(controls.texts[FormEdit::PopAcount], "taro");
  EXPECT_EQ(controls.texts[FormEdit::PopTime], "12");
  EXPECT_EQ(controls.texts[FormEdit::PassEdit], "abc");
  EXPECT_EQ(controls.updown, 12);
  EXPECT_TRUE(controls.checked[FormCheck::CheckApop]);
  EXPECT_TRUE(controls.checked[FormCheck::CheckBox1]);
  EXPECT_TRUE(controls.checked[FormCheck::CheckBox2]);
  EXPECT_FALSE(controls.checked[FormCheck::CheckBox3]);
  EXPECT_TRUE(controls.checked[FormCheck::CheckInboxMove]) << "shown as stored, though disabled";
  EXPECT_FALSE(controls.check_enabled[FormCheck::CheckInboxMove]);
  EXPECT_FALSE(controls.button_enabled[FormButton::AccountReload]);
  ASSERT_EQ(controls.list.size(), 2u);
  EXPECT_EQ(controls.list[1].address, "a2@example.jp");
  EXPECT_TRUE(controls.accounts.empty());
  EXPECT_EQ(controls.account, -1);
  EXPECT_EQ(profile.FindKey("OTHER", "RecvSleep")->value, "0");
}

// A file that cannot be written is told only after the window is filled.
TEST_F(SettingsFormTest, FillReportsAFailedWriteAfterFilling) {
  profile.Set("NETWORK", "PopAddress", "\"pop.example.jp\"");
  SetEntries(3);
  profile.fail_writes_from = 0;
  EXPECT_THROW(form.Fill(), SettingsWriteError);
  EXPECT_EQ(controls.texts[FormEdit::PopAdress], "pop.example.jp");
  EXPECT_EQ(controls.list.size(), 3u);
}

// Icon rule and sorting rule, on opening and on a click.
TEST_F(SettingsFormTest, IconAndSortingRules) {
  struct Case { const char* icon_change; const char* recv_do; bool box1, all_icon, sort_boxes; };
  const Case cases[] = {
      {"0", "0", true, false, false},
      {"1", "0", false, true, false},
      {"0", "1", true, false, true},
      {"-3", "7", false, true, true},
  };
  for (const Case& c : cases) {
    profile.Set("OTHER", "IconChange", c.icon_change);
    profile.Set("OTHER", "RecvDo", c.recv_do);
    form.Fill();
    EXPECT_EQ(controls.check_enabled[FormCheck::CheckBox1], c.box1) << c.icon_change;
    EXPECT_EQ(controls.check_enabled[FormCheck::AllIconCheck], c.all_icon) << c.icon_change;
    EXPECT_EQ(controls.check_enabled[FormCheck::CheckInboxMove], c.sort_boxes) << c.recv_do;
    EXPECT_EQ(controls.check_enabled[FormCheck::CheckNozari], c.sort_boxes) << c.recv_do;

    // The user flips both boxes: the rules follow, the checked states stay.
    const bool nozari = controls.checked[FormCheck::CheckNozari];
    controls.checked[FormCheck::CheckBox3] = !controls.checked[FormCheck::CheckBox3];
    form.CheckBox3Click();
    controls.checked[FormCheck::TCheckRecvDo] = !controls.checked[FormCheck::TCheckRecvDo];
    form.TCheckRecvDoClick();
    EXPECT_EQ(controls.check_enabled[FormCheck::CheckBox1], !c.box1) << c.icon_change;
    EXPECT_EQ(controls.check_enabled[FormCheck::AllIconCheck], !c.all_icon) << c.icon_change;
    EXPECT_EQ(controls.check_enabled[FormCheck::CheckNozari], !c.sort_boxes) << c.recv_do;
    EXPECT_EQ(controls.checked[FormCheck::CheckNozari], nozari);
  }
}

// The first empty one of the four required edits is told, in this order, with
// the connection tab in front and the caret in that edit; nothing is taken over.
TEST_F(SettingsFormTest, RequiredEditsInOrder) {
  struct Case { std::vector<FormEdit> empty; Events events; };
  const Case cases[] = {
      {{FormEdit::PopAdress, FormEdit::PopPort, FormEdit::PopAcount, FormEdit::PopTime},
       {"info NoPopAddress", "tab 接続", "focus PopAdress"}},
      {{FormEdit::PopPort, FormEdit::PopTime}, {"info NoPopPort", "tab 接続", "focus PopPort"}},
      {{FormEdit::PopAcount, FormEdit::PopTime}, {"info NoPopAccount", "tab 接続", "focus PopAcount"}},
      {{FormEdit::PopTime}, {"info NoPopTime", "tab 接続", "focus PopTime"}},
  };
  for (const Case& c : cases) {
    settings = Settings{};
    controls.events.clear();
    TypeValid();
    controls.texts[FormEdit::PassEdit] = "pw";
    for (FormEdit e : c.empty) controls.texts[e] = "";
    EXPECT_FALSE(form.OKButtonClick());
    EXPECT_EQ(controls.events, c.events);
    EXPECT_EQ(settings, Settings{}) << "nothing taken over";
    EXPECT_TRUE(profile.log.empty()) << "nothing saved";
  }
}

// Blanks count as text: they pass the check and are stored as typed.
TEST_F(SettingsFormTest, BlanksAreText) {
  TypeValid();
  controls.texts[FormEdit::PopAdress] = " ";
  controls.texts[FormEdit::PopAcount] = " taro ";
  ASSERT_TRUE(form.OKButtonClick());
  EXPECT_EQ(Stored("NETWORK", "PopAddress"), "\" \"");
  EXPECT_EQ(Stored("NETWORK", "PopAcount"), "\" taro \"");
}

// A refused OK takes nothing over and writes nothing: the user then leaves by
// Cancel or Escape (neither touches the record), and the record the next check
// uses is exactly what the file holds. Before, the password, server and account
// were taken over ahead of the port and the interval, so a bad interval sent
// the typed password to the typed server at the next check.
TEST(SettingsFormOkRefused, RecordStaysAsTheFileHasIt) {
  const std::string file =
      "[NETWORK]\r\nPopAddress=\"pop.oldisp.example\"\r\nPopAcount=\"hanako\"\r\n"
      "PopPort=995\r\nApop=0\r\nPasswd=" + StoredPasswordValue("OldSecret") + "\r\nTls=2\r\n"
      "[OTHER]\r\nRecvSleep=0\r\nPopTime=4\r\nIconChange=1\r\n"
      "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"From:\"\r\nCheckString1+A=\"boss\"\r\n";
  struct Case {
    const char* what;
    const char* port;
    const char* interval;
    bool save_fails;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"refused port", "11O", "5", false, {"'11O' は整数ではありません"}},
      {"refused interval", "110", "x", false, {"'x' は整数ではありません"}},
      {"empty interval", "110", "", false, {"info NoPopTime", "tab 接続", "focus PopTime"}},
      {"the file cannot be written", "110", "5", true, {}},
  };
  for (const Case& c : cases) {
    for (const char* leave : {"Cancel", "Escape"}) {
      SCOPED_TRACE(std::string(c.what) + ", then " + leave);
      auto owned = std::make_unique<testing::MemoryIniFile>(file);
      testing::MemoryIniFile& ini = *owned;
      DocumentProfile profile(std::move(owned), testing::TableCodec932::Instance());
      Settings settings;
      FakeMailbox mailbox;
      AccountTable accounts;
      FakeControls controls;
      SettingsForm form(settings, profile, mailbox, accounts, controls);
      form.Fill();
      const Settings filled = settings;

      controls.texts[FormEdit::PopAdress] = "pop.newisp.example";
      controls.texts[FormEdit::PopAcount] = "taro";
      controls.texts[FormEdit::PassEdit] = "NewSecret";
      controls.texts[FormEdit::PopPort] = c.port;
      controls.texts[FormEdit::PopTime] = c.interval;
      controls.tls = kTlsNone;
      controls.checked[FormCheck::CheckApop] = true;
      controls.checked[FormCheck::CheckBox3] = false;
      controls.list.push_back({0, "To:", "me"});
      controls.events.clear();
      ini.fail_replace = c.save_fails;

      if (c.save_fails) {
        EXPECT_THROW(form.OKButtonClick(), SettingsWriteError);
      } else {
        EXPECT_FALSE(form.OKButtonClick());
      }
      EXPECT_EQ(controls.events, c.shown);
      // Cancel and Escape hide the window and re-arm the cycle; the check
      // then runs on the record as it stands.
      EXPECT_EQ(settings, filled);
      Settings from_file;
      ini.fail_replace = false;
      DocumentProfile again(std::make_unique<testing::MemoryIniFile>(*ini.bytes),
                            testing::TableCodec932::Instance());
      LoadSettings(again, from_file);
      EXPECT_EQ(settings, from_file);
      EXPECT_EQ(settings.PopAddress, "pop.oldisp.example");
      EXPECT_EQ(settings.Passwd, "OldSecret");
      EXPECT_EQ(settings.Tls, kTlsImplicit);
      EXPECT_EQ(*ini.bytes, file) << "nothing written";
    }
  }
}

// Only the arrows keep the interval within 1 ... 99: a typed 0 or -5 is stored.
TEST_F(SettingsFormTest, TypedIntervalOutsideTheArrowsRangeIsStored) {
  for (const char* interval : {"0", "-5"}) {
    TypeValid();
    controls.texts[FormEdit::PopTime] = interval;
    ASSERT_TRUE(form.OKButtonClick());
    EXPECT_EQ(settings.PopTime, std::stoi(interval));
    EXPECT_EQ(Stored("OTHER", "PopTime"), interval);
  }
}

// OK writes the settings and the list in one replacement of the file.
TEST(SettingsFormOk, SettingsAndListReachTheFileTogether) {
  auto owned = std::make_unique<testing::MemoryIniFile>(
      "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"From:\"\r\nCheckString1+A=\"a\"\r\n");
  testing::MemoryIniFile& ini = *owned;
  DocumentProfile profile(std::move(owned), testing::TableCodec932::Instance());
  Settings settings;
  FakeMailbox mailbox;
  AccountTable accounts;
  FakeControls controls;
  SettingsForm form(settings, profile, mailbox, accounts, controls);
  form.Fill();
  const int replaces_after_fill = ini.replaces;
  controls.texts = {{FormEdit::PopAdress, "pop.example.jp"}, {FormEdit::PopPort, "110"},
                    {FormEdit::PopAcount, "taro"}, {FormEdit::PopTime, "5"},
                    {FormEdit::PassEdit, "abc"}};
  controls.list.push_back({0, "To:", "me"});
  ASSERT_TRUE(form.OKButtonClick());
  EXPECT_EQ(ini.replaces, replaces_after_fill + 1) << "one replacement for settings and list";
  const std::string& saved = *ini.bytes;
  EXPECT_NE(saved.find("PopAddress=\"pop.example.jp\"\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("SettingNumber=2\r\n"), std::string::npos) << saved;
  EXPECT_EQ(settings.PopAddress, "pop.example.jp");
}

// A password whose stored form would not read back is refused where it is
// typed: the window stays on the connection tab with the caret in the box.
TEST_F(SettingsFormTest, PasswordLongerThan43BytesIsRefused) {
  struct Case { std::string password; bool accepted; };
  const Case cases[] = {
      {"", true},
      {std::string(43, 'p'), true},
      {std::string(44, 'p'), false},
      {std::string(21, '\x82') , true},                  // 21 bytes
      {std::string("\x83\x70\x83\x58") + std::string(40, 'w'), false},  // 44 bytes
  };
  for (const Case& c : cases) {
    settings = Settings{};
    settings.Passwd = "old";
    profile = MemoryProfile{};
    controls.events.clear();
    TypeValid();
    controls.texts[FormEdit::PassEdit] = c.password;
    EXPECT_EQ(form.OKButtonClick(), c.accepted) << c.password.size();
    if (c.accepted) {
      EXPECT_EQ(settings.Passwd, c.password);
      EXPECT_EQ(Stored("NETWORK", "Passwd"), StoredPasswordValue(c.password));
    } else {
      EXPECT_EQ(controls.events, (Events{"info PasswordTooLong", "tab 接続", "focus PassEdit"}));
      EXPECT_EQ(settings.Passwd, "old");
      EXPECT_TRUE(profile.log.empty());
    }
  }
}

// The whole take-over: record fields, account, file order, the list after the settings.
TEST_F(SettingsFormTest, OkSavesTheRecordThenTheList) {
  mailbox.accounts = {{"Home", "Account1"}, {"仕事", "Account2"}};
  SetEntries(1);
  form.Fill();
  TypeValid();
  controls.texts[FormEdit::PassEdit] = "abc";
  controls.checked[FormCheck::CheckBox1] = true;
  controls.checked[FormCheck::TCheckRecvDo] = true;
  controls.checked[FormCheck::CheckApop] = true;
  controls.account = 1;
  controls.list.push_back({0, "To:", "me@example.jp"});
  profile.log.clear();

  ASSERT_TRUE(form.OKButtonClick());

  EXPECT_EQ(settings.PopPort, 110);
  EXPECT_EQ(settings.PopTime, 5);
  EXPECT_EQ(settings.PopUpSetting, 1);
  EXPECT_EQ(settings.RecvDo, 1);
  EXPECT_EQ(settings.Apop, 1);
  EXPECT_EQ(settings.IconChange, 0);
  EXPECT_EQ(settings.AccountTitle, "仕事");
  EXPECT_EQ(settings.AccountPath, "C:\\Corvel\\Mailbox\\Account2");
  const Events expected = {
      "W NETWORK/PopAddress=\"pop.example.jp\"",
      "W NETWORK/PopAcount=\"taro\"",
      "W NETWORK/PopPort=110",
      "W NETWORK/Apop=1",
      "W OTHER/InboxMove=0",
      "W OTHER/PopTime=5",
      "W OTHER/PopUpSetting=1",
      "W OTHER/NotPopup=0",
      "W OTHER/RecvDo=1",
      "W OTHER/RetrySearchToNozari=0",
      "W OTHER/IconChange=0",
      "W OTHER/AllIconChange=0",
      "W OTHER/AccountTitle=\"仕事\"",
      "W OTHER/AccountPath=\"C:\\Corvel\\Mailbox\\Account2\"",
      "W NETWORK/Passwd=HOJMLUNTP[R[",
      "D CHECKADDRESS/CheckString1",
      "D CHECKADDRESS/CheckString1+A",
      "W CHECKADDRESS/SettingNumber=2",
      "W CHECKADDRESS/CheckString1=\"From:\"",
      "W CHECKADDRESS/CheckString1+A=\"a1@example.jp\"",
      "W CHECKADDRESS/CheckString2=\"To:\"",
      "W CHECKADDRESS/CheckString2+A=\"me@example.jp\"",
  };
  EXPECT_EQ(profile.log, expected);
}

// The security box shows the stored mode (an unknown one as plain); OK writes
// the choice after the other keys and keeps the pinned certificate as it was.
TEST_F(SettingsFormTest, SecurityChoiceFilledAndTakenOver) {
  const struct {
    const char* stored;
    std::int32_t shown;
  } cases[] = {{nullptr, kTlsNone}, {"1", kTlsStls}, {"2", kTlsImplicit}, {"7", kTlsNone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "absent");
    profile = MemoryProfile{};
    if (c.stored) profile.Set("NETWORK", "Tls", c.stored);
    profile.Set("NETWORK", "TlsCertSha256", "\"AB:CD\"");
    form.Fill();
    EXPECT_EQ(controls.tls, c.shown);
  }
  TypeValid();
  controls.texts[FormEdit::PassEdit] = "abc";
  controls.tls = kTlsImplicit;
  profile.log.clear();
  ASSERT_TRUE(form.OKButtonClick());
  EXPECT_EQ(settings.Tls, kTlsImplicit);
  EXPECT_EQ(Stored("NETWORK", "Tls"), "2");
  EXPECT_EQ(Stored("NETWORK", "TlsCertSha256"), "\"AB:CD\"");
  const auto at = [&](const std::string& line) {
    return std::find(profile.log.begin(), profile.log.end(), line) - profile.log.begin();
  };
  EXPECT_LT(at("W NETWORK/Passwd=HOJMLUNTP[R["), at("W NETWORK/Tls=2"));
}

// The balloon's box shows the key as read (on only for 1); OK writes it, and
// a file that never had it gets it only when the box is checked.
TEST_F(SettingsFormTest, BalloonBoxFilledAndTakenOver) {
  const struct {
    const char* stored;
    bool shown;
  } fills[] = {{nullptr, false}, {"1", true}, {"2", false}, {"0", false}};
  for (const auto& c : fills) {
    profile = MemoryProfile{};
    if (c.stored) profile.Set("OTHER", "Balloon", c.stored);
    controls.checked[FormCheck::CheckBalloon] = !c.shown;
    form.Fill();
    EXPECT_EQ(controls.checked[FormCheck::CheckBalloon], c.shown) << (c.stored ? c.stored : "absent");
  }
  const struct {
    bool checked;
    std::string stored;
  } oks[] = {{false, "<none>"}, {true, "1"}};
  for (const auto& c : oks) {
    profile = MemoryProfile{};
    form.Fill();
    TypeValid();
    controls.texts[FormEdit::PassEdit] = "abc";
    controls.checked[FormCheck::CheckBalloon] = c.checked;
    ASSERT_TRUE(form.OKButtonClick());
    EXPECT_EQ(settings.Balloon, c.checked ? 1 : 0);
    EXPECT_EQ(Stored("OTHER", "Balloon"), c.stored);
  }
}

// Choosing a mode suggests its usual port only while the box holds the other
// mode's usual port.
TEST_F(SettingsFormTest, SecurityChoiceSuggestsThePort) {
  const struct {
    std::int32_t choice;
    const char* before;
    const char* after;
  } cases[] = {
      {kTlsImplicit, "110", "995"}, {kTlsImplicit, "1110", "1110"}, {kTlsImplicit, "995", "995"},
      {kTlsStls, "995", "110"},     {kTlsNone, "995", "110"},       {kTlsNone, "2995", "2995"},
      {kTlsStls, "110", "110"},     {kTlsImplicit, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.choice) + " " + c.before);
    controls.texts[FormEdit::PopPort] = c.before;
    controls.tls = c.choice;
    form.ComboTlsChange();
    EXPECT_EQ(controls.texts[FormEdit::PopPort], c.after);
  }
}

// No account chosen: title and folder become empty.
TEST_F(SettingsFormTest, NoAccountChosenEmptiesTheAccount) {
  settings.AccountTitle = "Home";
  settings.AccountPath = "C:\\Corvel\\Mailbox\\Account1";
  TypeValid();
  ASSERT_TRUE(form.OKButtonClick());
  EXPECT_EQ(settings.AccountTitle, "");
  EXPECT_EQ(Stored("OTHER", "AccountPath"), "\"\"");
}

// A failed settings write stops OK before the list is written.
TEST_F(SettingsFormTest, FailedSaveLeavesTheListUnwritten) {
  SetEntries(2);
  form.Fill();
  controls.list.erase(controls.list.begin());
  TypeValid();
  profile.log.clear();
  profile.fail_writes_from = profile.writes_done + 3;
  EXPECT_THROW(form.OKButtonClick(), SettingsWriteError);
  EXPECT_EQ(profile.log.size(), 3u);
  EXPECT_EQ(Stored("CHECKADDRESS", "SettingNumber"), "2");
  EXPECT_EQ(Stored("CHECKADDRESS", "CheckString2+A"), "\"a2@example.jp\"");
}

// The stored account is chosen without regard to letter case; the first equal
// title wins; none equal leaves nothing chosen.
TEST_F(SettingsFormTest, AccountChoiceByCase) {
  mailbox.accounts = {{"Home", "Account1"}, {"Work", "Account2"}, {"WORK", "Account3"}};
  struct Case { const char* stored; int chosen; };
  const Case cases[] = {{"work", 1}, {"WORK", 1}, {"home", 0}, {"Works", -1}, {"", -1}};
  for (const Case& c : cases) {
    profile.Set("OTHER", "AccountTitle", std::string("\"") + c.stored + "\"");
    form.Fill();
    EXPECT_EQ(controls.accounts, (std::vector<std::string>{"Home", "Work", "WORK"}));
    EXPECT_EQ(controls.account, c.chosen) << c.stored;
  }
}

// One account only: it becomes the chosen one, whatever the file says.
TEST_F(SettingsFormTest, OnlyAccountIsChosen) {
  mailbox.accounts = {{"Home", "Account1"}};
  profile.Set("OTHER", "AccountTitle", "\"Other\"");
  form.Fill();
  EXPECT_EQ(controls.account, 0);
}

// Changing the account enables the reload; the reload fills four boxes from the
// account and disables itself; with nothing chosen it does nothing.
TEST_F(SettingsFormTest, AccountReload) {
  mailbox.accounts = {{"Home", "Account1"}, {"Work", "Account2"}};
  mailbox.ini["C:\\Corvel\\Mailbox\\Account2\\Account.ini"] = {
      {"POP3Server", "pop.work.example"}, {"Account", "w.taro"}};
  profile.Set("NETWORK", "PopPort", "995");
  profile.Set("NETWORK", "Passwd", StoredPasswordValue("abc"));
  form.Fill();
  EXPECT_FALSE(controls.button_enabled[FormButton::AccountReload]);

  form.AccountReloadClick();  // nothing chosen
  EXPECT_EQ(controls.texts[FormEdit::PassEdit], "abc");

  controls.account = 1;
  form.ComboAccountChange();
  EXPECT_TRUE(controls.button_enabled[FormButton::AccountReload]);
  form.AccountReloadClick();
  EXPECT_EQ(controls.texts[FormEdit::PopAdress], "pop.work.example");
  EXPECT_EQ(controls.texts[FormEdit::PopPort], "995") << "no POP3Port: the current setting";
  EXPECT_EQ(controls.texts[FormEdit::PopAcount], "w.taro");
  EXPECT_EQ(controls.texts[FormEdit::PassEdit], "");
  EXPECT_FALSE(controls.button_enabled[FormButton::AccountReload]);
}

// The arrows step the edit's text within 1 ... 99; a text that is no integer
// is told and left alone.
TEST_F(SettingsFormTest, StepTheInterval) {
  struct Case { const char* text; bool up; const char* after; bool error; };
  const Case cases[] = {
      {"5", true, "6", false},   {"5", false, "4", false},  {"98", true, "99", false},
      {"99", true, "99", false}, {"99", false, "98", false}, {"1", false, "1", false},
      {"1", true, "2", false},   {"0", false, "0", false},   {"0", true, "1", false},
      {"-5", true, "-4", false}, {"ab", true, "ab", true},   {"", false, "", true},
  };
  for (const Case& c : cases) {
    controls.events.clear();
    controls.texts[FormEdit::PopTime] = c.text;
    controls.updown = 50;
    form.UpDown1Click(c.up);
    EXPECT_EQ(controls.texts[FormEdit::PopTime], c.after) << c.text << c.up;
    EXPECT_EQ(controls.events.size(), c.error ? 1u : 0u) << c.text;
    if (c.error) {
      EXPECT_EQ(controls.events[0], std::string("'") + c.text + "' は整数ではありません");
    }
  }
}

// New is enabled exactly while the list holds fewer than 20 items.
TEST_F(SettingsFormTest, NewRuleAt19To21) {
  struct Case { int entries; bool enabled; };
  for (const Case c : {Case{0, true}, Case{19, true}, Case{20, false}, Case{21, false}}) {
    profile = MemoryProfile{};
    SetEntries(c.entries);
    form.Fill();
    EXPECT_EQ(controls.ListCount(), c.entries);
    EXPECT_EQ(controls.button_enabled[FormButton::chkNewButton], c.enabled) << c.entries;
  }
  // 19: adding one disables New, deleting one enables it again.
  profile = MemoryProfile{};
  SetEntries(19);
  form.Fill();
  controls.editor.push_back([](CheckAddressFields& f) { f = {"To:", "x@example.jp"}; });
  form.chkNewButtonClick();
  EXPECT_EQ(controls.ListCount(), 20);
  EXPECT_FALSE(controls.button_enabled[FormButton::chkNewButton]);
  controls.selected = 3;
  form.chkDelButtonClick();
  EXPECT_EQ(controls.ListCount(), 19);
  EXPECT_TRUE(controls.button_enabled[FormButton::chkNewButton]);
}

// A hand-edited list of more than 20 entries is shown and saved as it is.
TEST_F(SettingsFormTest, MoreThan20EntriesAreKept) {
  SetEntries(23);
  form.Fill();
  ASSERT_EQ(controls.ListCount(), 23);
  EXPECT_EQ(controls.list[22].address, "a23@example.jp");
  TypeValid();
  ASSERT_TRUE(form.OKButtonClick());
  EXPECT_EQ(Stored("CHECKADDRESS", "SettingNumber"), "23");
  EXPECT_EQ(Stored("CHECKADDRESS", "CheckString23+A"), "\"a23@example.jp\"");
  EXPECT_EQ(ReadCheckAddresses(profile).size(), 23u);
}

// New: the editor opens empty; confirmed, the entry is appended; cancelled,
// nothing changes. The list gets the focus in either case.
TEST_F(SettingsFormTest, NewEntry) {
  SetEntries(1);
  form.Fill();
  controls.editor.push_back([](CheckAddressFields& f) { f = {"X-ML-Name:", "ml"}; });
  form.chkNewButtonClick();
  form.chkNewButtonClick();  // the user cancels
  ASSERT_EQ(controls.editor_opened_with.size(), 2u);
  EXPECT_EQ(controls.editor_opened_with[0].EditHeader, "");
  EXPECT_EQ(controls.editor_opened_with[0].EditAddress, "");
  ASSERT_EQ(controls.ListCount(), 2);
  EXPECT_EQ(controls.list[1].header, "X-ML-Name:");
  EXPECT_EQ(controls.list[1].address, "ml");
  EXPECT_EQ(controls.events, (Events{"editor", "focus list", "editor", "focus list"}));
}

// Edit by button, double click and Enter: the editor opens with the selected
// item; with nothing selected nothing happens; a cancel keeps the item.
TEST_F(SettingsFormTest, EditEntryThreeWays) {
  const std::vector<std::function<void(SettingsForm&)>> ways = {
      [](SettingsForm& f) { f.chkModButtonClick(); },
      [](SettingsForm& f) { f.ListView1DblClick(); },
      [](SettingsForm& f) { f.ListView1KeyDown(13); },
  };
  for (const auto& way : ways) {
    profile = MemoryProfile{};
    SetEntries(2);
    form.Fill();
    controls.events.clear();
    controls.editor_opened_with.clear();
    way(form);  // nothing selected
    EXPECT_TRUE(controls.events.empty());

    controls.selected = 1;
    controls.editor.push_back([](CheckAddressFields& f) { f = {"Cc:", " spaced "}; });
    way(form);
    ASSERT_EQ(controls.editor_opened_with.size(), 1u);
    EXPECT_EQ(controls.editor_opened_with[0].EditHeader, "From:");
    EXPECT_EQ(controls.editor_opened_with[0].EditAddress, "a2@example.jp");
    EXPECT_EQ(controls.list[1].header, "Cc:");
    EXPECT_EQ(controls.list[1].address, " spaced ") << "no trimming";

    way(form);  // cancelled
    EXPECT_EQ(controls.list[1].header, "Cc:");
    EXPECT_EQ(controls.ListCount(), 2);
    EXPECT_EQ(controls.events, (Events{"editor", "focus list", "editor", "focus list"}));
  }
  controls.events.clear();
  controls.selected = 0;
  form.ListView1KeyDown(32);  // other keys do nothing
  EXPECT_TRUE(controls.events.empty());
}

// Delete acts on the selected item at once; a Cancel then drops the change,
// and the next opening shows the entry again.
TEST_F(SettingsFormTest, DeleteThenCancel) {
  SetEntries(3);
  form.Fill();
  form.chkDelButtonClick();  // nothing selected
  EXPECT_EQ(controls.ListCount(), 3);
  controls.selected = 1;
  form.chkDelButtonClick();
  ASSERT_EQ(controls.ListCount(), 2);
  EXPECT_EQ(controls.list[1].address, "a3@example.jp");
  EXPECT_EQ(controls.events, (Events{"focus list", "focus list"}));
  // Cancel writes nothing; the next Fill reads the file again.
  form.Fill();
  ASSERT_EQ(controls.ListCount(), 3);
  EXPECT_EQ(controls.list[1].address, "a2@example.jp");
}

TEST(CheckAddressEditor, OkChecksHeaderThenAddress) {
  struct Case { const char* header; const char* address; EditorCheck result; };
  const Case cases[] = {
      {"", "", EditorCheck::NoHeader},
      {"", "a@example.jp", EditorCheck::NoHeader},
      {"From:", "", EditorCheck::NoAddress},
      {" ", " ", EditorCheck::Ok},
      {"Subject:", "x", EditorCheck::Ok},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckEditorFields(c.header, c.address), c.result) << c.header << "|" << c.address;
}

}  // namespace
}  // namespace zepho
