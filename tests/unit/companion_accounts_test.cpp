#include "companion/companion_accounts.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "fakes/memory_profile.h"

namespace zepho {
namespace {

using namespace std::string_literals;
using Kind = MailboxStore::MailboxPath::Kind;
using Lines = std::vector<std::string>;
using Paths = std::vector<std::wstring>;

const std::wstring kMailbox = L"C:\\Corvel";
const std::wstring kAccount1 = kMailbox + L"\\Mailbox\\Account1";

// Registry value, folder search, Account.ini files and Uidl files, all in memory.
// The search hands back `entries` in order whatever the pattern; the pattern is
// recorded so the tests can check it. Its code page 932 knows ASCII and "表"
// (0x95 0x5C, a trail byte that is a backslash); anything else is stored as "?".
class FakeMailboxStore : public MailboxStore {
 public:
  MailboxPath mailbox{Kind::Text, kMailbox};
  std::vector<FolderEntry> entries;
  std::map<std::wstring, std::string> files;

  Paths patterns;
  Paths ini_reads;
  Paths file_reads;
  std::size_t visited = 0;
  bool stopped = false;

  MailboxPath ReadMailboxPath() override { return mailbox; }

  void FindFiles(const std::wstring& pattern,
                 const std::function<bool(const FolderEntry&)>& visit) override {
    patterns.push_back(pattern);
    for (const FolderEntry& e : entries) {
      ++visited;
      if (!visit(e)) {
        stopped = true;
        return;
      }
    }
  }

  std::string ReadIniString(const std::wstring& path, const std::string& section,
                            const std::string& key, const std::string& def) override {
    ini_reads.push_back(path);
    auto it = inis_.find(path);
    return it == inis_.end() ? def : it->second.ReadString(section, key, def);
  }

  std::optional<std::string> ReadFile(const std::wstring& path) override {
    file_reads.push_back(path);
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }

  std::string StoredPath(const std::wstring& path) override {
    std::string out;
    for (const wchar_t c : path) {
      if (c == L'\u8868')
        out += "\x95\x5C";
      else
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
  }

  std::wstring PathFromStored(const std::string& stored) override {
    std::wstring out;
    for (std::size_t i = 0; i < stored.size(); ++i) {
      if (stored.compare(i, 2, "\x95\x5C") == 0) {
        out += L'\u8868';
        ++i;
      } else {
        out += static_cast<wchar_t>(static_cast<unsigned char>(stored[i]));
      }
    }
    return out;
  }

  // A key of section Property in `folder`\Account.ini, as typed in the file.
  void SetProperty(const std::wstring& folder, const std::string& key, const std::string& raw) {
    const std::wstring path = folder + L"\\Account.ini";
    inis_.try_emplace(path, path).first->second.Set("Property", key, raw);
  }

  // An account folder that the search returns, with its Account.ini title.
  void AddAccount(const std::wstring& name, const std::string& title) {
    entries.push_back({name, true, false, false});
    SetProperty(kMailbox + L"\\Mailbox\\" + name, "Title", title);
  }

  // Flags under which the Uidl list is used.
  void EnableUidl(const std::wstring& folder) {
    SetProperty(folder, "NotDelete", "1");
    SetProperty(folder, "OldPopper", "0");
  }

 private:
  std::map<std::wstring, zepho::testing::MemoryProfile> inis_;
};

// ---------------------------------------------------------------------------
// Uidl line rules

TEST(CompanionUidlLines, Table) {
  struct Case { std::string name, bytes; Lines lines; };
  const Case cases[] = {
      {"empty line inside", "a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"empty file", "", {}},
      {"LF only", "a\nb\n", {"a", "b"}},
      {"lone CRs", "a\rb\rc", {"a", "b", "c"}},
      {"two lone CRs", "a\r\rb", {"a", "", "b"}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"CR LF then LF", "a\r\n\nb", {"a", "", "b"}},
      {"CR CR LF", "a\r\r\nb", {"a", "", "b"}},
      {"no final break", "a\r\nb", {"a", "b"}},
      {"one final break", "a\r\n", {"a"}},
      {"two final breaks", "a\r\n\r\n", {"a", ""}},
      {"only a break", "\r\n", {""}},
      {"only LFs", "\n\n", {"", ""}},
      {"NUL ends content", "a\r\nb\0c\r\nd"s, {"a", "b"}},
      {"NUL right after a break", "a\r\n\0\r\nb"s, {"a"}},
      {"NUL first", "\0abc\r\n"s, {}},
      {"no trimming", " id \t\r\nID\r\n", {" id \t", "ID"}},
      {"double-byte kept", "\x82\xA0\x95\x5C\r\n", {"\x82\xA0\x95\x5C"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitUidlLines(c.bytes), c.lines) << c.name;
    // The one-pass text of the list holds the same lines.
    EXPECT_EQ(UidlWholeText(c.bytes), WholeText(c.lines)) << c.name;
  }
}

TEST(CompanionUidlLines, WholeTextEndsEveryLineWithCrLf) {
  EXPECT_EQ(WholeText({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(WholeText({""}), "\r\n");
  EXPECT_EQ(WholeText({}), "");
  // A CR LF file comes back byte for byte, with a final break added when missing.
  const std::string file = "1700000001.M1P2.host,S=10\r\n\r\n1700000002.M3P4.host,S=20";
  EXPECT_EQ(WholeText(SplitUidlLines(file)), file + "\r\n");
  EXPECT_EQ(UidlWholeText(file), file + "\r\n");
  EXPECT_EQ(UidlWholeText(file + "\r\n"), file + "\r\n");
  // Breaks of every kind at the end and at the NUL that ends the content.
  EXPECT_EQ(UidlWholeText("a\r\nb\r"), "a\r\nb\r\n");
  EXPECT_EQ(UidlWholeText("a\r\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(UidlWholeText("a\r\nb\r\0\nc"s), "a\r\nb\r\n");
  EXPECT_EQ(UidlWholeText("a\r\nb\0\r\n"s), "a\r\nb\r\n");
}

TEST(CompanionUidlLines, OnePassTextAgreesWithTheLinesOnAnyBytes) {
  // Long enough for whole vector steps, with every kind of break and NULs.
  const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '\x82'};
  std::mt19937 rng(4);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(rng() % 120, 'a');
    // Few NULs, or the content would mostly be empty.
    for (char& c : bytes) c = alphabet[rng() % (rng() % 8 == 0 ? 6 : 4)];
    ASSERT_EQ(UidlWholeText(bytes), WholeText(SplitUidlLines(bytes))) << round;
  }
}

// ---------------------------------------------------------------------------
// LoadReceivedIdList

TEST(CompanionReceivedIdList, NotDeleteAndOldPopperDecide) {
  struct Case {
    const char* not_delete;  // nullptr: key absent
    const char* old_popper;
    int result;
  };
  const Case cases[] = {
      {"1", "0", 1},
      {"0x1", "0", 1},     // hexadecimal spelling
      {"2", "0", 1},       // any value but 0
      {"1", "2", 1},       // any value but 1
      {"1", nullptr, 0},   // OldPopper defaults to 1
      {"1", "", 0},
      {"1", "1", 0},
      {"1", "0x1", 0},
      {nullptr, "0", 0},   // NotDelete defaults to 0
      {"0", "0", 0},
      {"0x0", "0", 0},
      {"yes", "0", 0},     // not a number: the default
      {nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("NotDelete=") + (c.not_delete ? c.not_delete : "<absent>") +
                 " OldPopper=" + (c.old_popper ? c.old_popper : "<absent>"));
    FakeMailboxStore store;
    if (c.not_delete) store.SetProperty(kAccount1, "NotDelete", c.not_delete);
    if (c.old_popper) store.SetProperty(kAccount1, "OldPopper", c.old_popper);
    store.files[kAccount1 + L"\\Uidl"] = "id1\r\nid2\r\n";
    std::optional<ReceivedIdList> list;
    EXPECT_EQ(LoadReceivedIdList(store, Settings{}, list), c.result);
    if (c.result == 1) {
      ASSERT_TRUE(list.has_value());
      EXPECT_EQ(list->Lines(), (Lines{"id1", "id2"}));
    } else {
      EXPECT_FALSE(list.has_value());
    }
  }
}

TEST(CompanionReceivedIdList, EmptyTitleMeansAccount1WhateverAccountPathHolds) {
  const std::wstring other = L"D:\\Elsewhere\\Account7";
  FakeMailboxStore store;
  store.EnableUidl(kAccount1);
  store.files[kAccount1 + L"\\Uidl"] = "first\r\n";
  store.EnableUidl(other);
  store.files[other + L"\\Uidl"] = "other\r\n";

  Settings s;
  s.AccountPath = "D:\\Elsewhere\\Account7";
  std::optional<ReceivedIdList> list;
  ASSERT_EQ(LoadReceivedIdList(store, s, list), 1);
  EXPECT_EQ(list->Lines(), Lines{"first"});

  // With a title the account folder is AccountPath, not one below the mailbox.
  s.AccountTitle = "Work";
  ASSERT_EQ(LoadReceivedIdList(store, s, list), 1);
  EXPECT_EQ(list->Lines(), Lines{"other"});

  // The flags come from the chosen folder too.
  s.AccountTitle.clear();
  store.SetProperty(kAccount1, "NotDelete", "0");
  EXPECT_EQ(LoadReceivedIdList(store, s, list), 0);
}

TEST(CompanionReceivedIdList, ReplacesContentOfAPresentList) {
  FakeMailboxStore store;
  store.EnableUidl(kAccount1);
  store.files[kAccount1 + L"\\Uidl"] = "a\r\n\r\nb\r\n";
  std::optional<ReceivedIdList> list = ReceivedIdList{WholeText({"stale1", "stale2", "stale3", "x"})};
  ASSERT_EQ(LoadReceivedIdList(store, Settings{}, list), 1);
  EXPECT_EQ(list->Lines(), (Lines{"a", "", "b"}));

  // An empty file still gives a present list, now with no entries.
  store.files[kAccount1 + L"\\Uidl"] = "";
  ASSERT_EQ(LoadReceivedIdList(store, Settings{}, list), 1);
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->Lines().empty());

  list.reset();
  ASSERT_EQ(LoadReceivedIdList(store, Settings{}, list), 1);
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->Lines().empty());
}

TEST(CompanionReceivedIdList, UnreadableUidlGivesZeroAndLeavesListToCaller) {
  FakeMailboxStore store;
  store.EnableUidl(kAccount1);
  std::optional<ReceivedIdList> list = ReceivedIdList{WholeText({"kept"})};
  EXPECT_EQ(LoadReceivedIdList(store, Settings{}, list), 0);
  EXPECT_EQ(store.file_reads, Paths{kAccount1 + L"\\Uidl"});
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(list->Lines(), Lines{"kept"});
}

TEST(CompanionReceivedIdList, NoMailboxFolderReadsNothing) {
  for (const Kind kind : {Kind::Absent, Kind::NotText}) {
    SCOPED_TRACE(static_cast<int>(kind));
    FakeMailboxStore store;
    store.mailbox = {kind, kMailbox};  // text left in place: it must not be used
    store.EnableUidl(kAccount1);
    store.files[kAccount1 + L"\\Uidl"] = "id\r\n";
    const std::wstring titled = L"D:\\Account2";
    store.EnableUidl(titled);
    store.files[titled + L"\\Uidl"] = "id\r\n";

    for (const std::string& title : {""s, "Work"s}) {
      Settings s;
      s.AccountTitle = title;
      s.AccountPath = "D:\\Account2";
      std::optional<ReceivedIdList> list;
      EXPECT_EQ(LoadReceivedIdList(store, s, list), 0);
      EXPECT_FALSE(list.has_value());
    }
    EXPECT_TRUE(store.ini_reads.empty());
    EXPECT_TRUE(store.file_reads.empty());
  }
}

// A folder that code page 932 cannot name is stored with "?" for the lost
// characters; on use it stands for the account folder whose stored form it is.
TEST(CompanionReceivedIdList, AccountPathThatLostCharactersFindsItsFolder) {
  struct Case {
    const char* name;
    std::wstring mailbox;
    std::vector<std::pair<std::wstring, std::string>> accounts;  // folder name, title
    std::size_t chosen;  // row whose folder is stored as AccountPath
    std::string stored;  // the stored form expected
    int result;          // 1: the chosen folder's Uidl is read
  };
  const Case cases[] = {
      {"exact form with a trail byte 0x5C", L"C:\\\u8868", {{L"Account1", "A"}, {L"Account2", "B"}},
       1, "C:\\\x95\x5C\\Mailbox\\Account2", 1},
      {"lost character in the mailbox folder", L"C:\\Jos\u00E9", {{L"Account1", "A"}, {L"Account2", "B"}},
       1, "C:\\Jos?\\Mailbox\\Account2", 1},
      {"lost character in the account folder", L"C:\\Corvel", {{L"Account\u00E9", "A"}, {L"Account2", "B"}},
       0, "C:\\Corvel\\Mailbox\\Account?", 1},
      {"two folders of one stored form: the title decides", L"C:\\Corvel",
       {{L"Account\u03B1", "A"}, {L"Account\u03B2", "B"}}, 1, "C:\\Corvel\\Mailbox\\Account?", 1},
      {"two folders of one stored form and one title: none", L"C:\\Corvel",
       {{L"Account\u03B1", "A"}, {L"Account\u03B2", "A"}}, 1, "C:\\Corvel\\Mailbox\\Account?", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMailboxStore store;
    store.mailbox = {Kind::Text, c.mailbox};
    for (const auto& [name, title] : c.accounts) {
      store.entries.push_back({name, true, false, false});
      const std::wstring folder = c.mailbox + L"\\Mailbox\\" + name;
      store.SetProperty(folder, "Title", title);
      store.EnableUidl(folder);
      store.files[folder + L"\\Uidl"] = "id-of-" + title + "\r\n";
    }
    AccountTable table;
    Settings s;
    EnumerateAccounts(store, table, s);
    ASSERT_EQ(table.size(), c.accounts.size());
    ChooseAccount(store, table[c.chosen], s);
    EXPECT_EQ(s.AccountTitle, c.accounts[c.chosen].second);
    EXPECT_EQ(s.AccountPath, c.stored);

    std::optional<ReceivedIdList> list;
    store.file_reads.clear();
    EXPECT_EQ(LoadReceivedIdList(store, s, list), c.result);
    if (c.result == 1) {
      EXPECT_EQ(store.file_reads, Paths{table[c.chosen].folder + L"\\Uidl"});
      ASSERT_TRUE(list.has_value());
      EXPECT_EQ(list->Lines(), Lines{"id-of-" + c.accounts[c.chosen].second});
    } else {
      EXPECT_TRUE(store.file_reads.empty()) << "a folder was guessed";
      EXPECT_FALSE(list.has_value());
    }
  }
}

TEST(CompanionReceivedIdList, AccountPathThatLostCharactersAndIsGoneNamesNothing) {
  FakeMailboxStore store;
  store.mailbox = {Kind::Text, L"C:\\Jos\u00E9"};
  store.AddAccount(L"Account1", "Work");
  Settings s;
  s.AccountTitle = "Work";
  s.AccountPath = "C:\\Jos?\\Mailbox\\Account7";
  std::optional<ReceivedIdList> list;
  EXPECT_EQ(LoadReceivedIdList(store, s, list), 0);
  EXPECT_TRUE(store.file_reads.empty());
}

// ---------------------------------------------------------------------------
// EnumerateAccounts

TEST(CompanionAccounts, ListsFoldersInSearchOrderAndSkipsTheRest) {
  FakeMailboxStore store;
  store.AddAccount(L"Account2", "Work");
  store.entries.push_back({L"Account9", false, false, false});  // a plain file
  store.AddAccount(L"Account3", "Hidden");
  store.entries.back().hidden = true;
  store.AddAccount(L"Account5", "System");
  store.entries.back().system = true;
  store.entries.push_back({L"Account1", true, false, false});   // no Account.ini
  store.AddAccount(L"AccountPrivate", "\x8E\x84\x97\x70");      // "私用"

  AccountTable table{{"stale", L"C:\\stale"}};
  Settings s;
  s.AccountTitle = "Before";
  s.AccountPath = "C:\\Before";
  EnumerateAccounts(store, table, s);

  EXPECT_EQ(store.patterns, Paths{kMailbox + L"\\Mailbox\\Account*"});
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].title, "Work");
  EXPECT_EQ(table[0].folder, kMailbox + L"\\Mailbox\\Account2");
  EXPECT_EQ(table[1].title, "");
  EXPECT_EQ(table[1].folder, kMailbox + L"\\Mailbox\\Account1");
  EXPECT_EQ(table[2].title, "\x8E\x84\x97\x70");
  EXPECT_EQ(table[2].folder, kMailbox + L"\\Mailbox\\AccountPrivate");
  // More than one account: the chosen account stays as it was.
  EXPECT_EQ(s.AccountTitle, "Before");
  EXPECT_EQ(s.AccountPath, "C:\\Before");
}

TEST(CompanionAccounts, StopsAtNinetyNine) {
  FakeMailboxStore store;
  for (int i = 1; i <= 120; ++i)
    store.AddAccount(L"Account" + std::to_wstring(i), "T" + std::to_string(i));
  AccountTable table;
  Settings s;
  EnumerateAccounts(store, table, s);
  ASSERT_EQ(table.size(), 99u);
  EXPECT_EQ(table.front().title, "T1");
  EXPECT_EQ(table.back().title, "T99");
  EXPECT_EQ(table.back().folder, kMailbox + L"\\Mailbox\\Account99");
  EXPECT_TRUE(store.stopped);
  EXPECT_EQ(store.visited, 99u);

  // Skipped entries do not count toward the limit.
  FakeMailboxStore mixed;
  for (int i = 1; i <= 120; ++i) {
    mixed.AddAccount(L"Account" + std::to_wstring(i), "T" + std::to_string(i));
    if (i % 2 == 0) mixed.entries.back().hidden = true;
  }
  EnumerateAccounts(mixed, table, s);
  EXPECT_EQ(table.size(), 60u);
  EXPECT_FALSE(mixed.stopped);
}

TEST(CompanionAccounts, ExactlyOneAccountBecomesTheChosenOne) {
  struct Case { std::wstring name; std::string title; };
  for (const Case& c : {Case{L"Account4", "Home"}, Case{L"Account1", ""}}) {
    SCOPED_TRACE(c.title);
    FakeMailboxStore store;
    store.entries.push_back({L"Account9", false, false, false});  // a file: not counted
    store.AddAccount(c.name, c.title);
    AccountTable table;
    Settings s;
    s.AccountTitle = "Another";
    s.AccountPath = "C:\\Corvel\\Mailbox\\Account8";
    EnumerateAccounts(store, table, s);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(s.AccountTitle, c.title);
    EXPECT_EQ(store.PathFromStored(s.AccountPath), kMailbox + L"\\Mailbox\\" + c.name);
  }
}

TEST(CompanionAccounts, NoAccountsKeepsTheChosenOne) {
  FakeMailboxStore store;
  store.entries.push_back({L"Account9", false, false, false});
  AccountTable table{{"stale", L"C:\\stale"}};
  Settings s;
  s.AccountTitle = "Work";
  s.AccountPath = "C:\\Work";
  EnumerateAccounts(store, table, s);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(s.AccountTitle, "Work");
  EXPECT_EQ(s.AccountPath, "C:\\Work");
}

TEST(CompanionAccounts, NoMailboxFolderClearsTableAndSearchesNothing) {
  for (const Kind kind : {Kind::Absent, Kind::NotText}) {
    SCOPED_TRACE(static_cast<int>(kind));
    FakeMailboxStore store;
    store.mailbox = {kind, kMailbox};
    store.AddAccount(L"Account1", "Only");
    AccountTable table{{"stale", L"C:\\stale"}};
    Settings s;
    s.AccountTitle = "Work";
    s.AccountPath = "C:\\Work";
    EnumerateAccounts(store, table, s);
    EXPECT_TRUE(table.empty());
    EXPECT_TRUE(store.patterns.empty());
    EXPECT_EQ(s.AccountTitle, "Work");
    EXPECT_EQ(s.AccountPath, "C:\\Work");
  }
}

// ---------------------------------------------------------------------------
// LoadAccountSettings

TEST(CompanionAccountSettings, CopiesServerPortAndAccount) {
  const AccountRow row{"Work", L"C:\\Corvel\\Mailbox\\Account2"};
  struct Case { const char* port; std::string shown; };  // port nullptr: key absent
  const Case cases[] = {
      {"0x6E", "110"}, {"0X6e", "110"}, {"2525", "2525"},
      {nullptr, "995"}, {"", "995"}, {"pop3", "995"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port ? c.port : "<absent>");
    FakeMailboxStore store;
    store.SetProperty(row.folder, "POP3Server", "pop.example.jp");
    store.SetProperty(row.folder, "Account", "taro");
    if (c.port) store.SetProperty(row.folder, "POP3Port", c.port);
    const AccountSettings got = LoadAccountSettings(store, row, 995);
    EXPECT_EQ(got.server, "pop.example.jp");
    EXPECT_EQ(got.port, c.shown);
    EXPECT_EQ(got.account, "taro");
  }
}

TEST(CompanionAccountSettings, MissingAccountIniGivesDefaults) {
  FakeMailboxStore store;
  store.SetProperty(kAccount1, "POP3Server", "not.this.one");
  const AccountSettings got = LoadAccountSettings(store, {"", kMailbox + L"\\Mailbox\\Account3"}, 110);
  EXPECT_EQ(got.server, "");
  EXPECT_EQ(got.port, "110");
  EXPECT_EQ(got.account, "");
  for (const std::wstring& path : store.ini_reads)
    EXPECT_EQ(path, kMailbox + L"\\Mailbox\\Account3\\Account.ini");
}

}  // namespace
}  // namespace zepho
