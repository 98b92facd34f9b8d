// The mail client's registry value and account folders through the real API.
#include "companion/mailbox_store_win32.h"

#include <gtest/gtest.h>

#include "win32/temp_folder.h"
#include "winlib/text.h"

namespace zepho {
namespace {

using testing::TempFolder;

void SetMailboxPath(const std::wstring* value, DWORD type = REG_SZ) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\MOREX\\Corvel", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (!value) {
    RegDeleteValueW(key, L"MailboxPath");
  } else if (type == REG_DWORD) {
    DWORD v = 5;
    RegSetValueExW(key, L"MailboxPath", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
  } else {
    RegSetValueExW(key, L"MailboxPath", 0, type, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

struct MailboxStoreTest : ::testing::Test {
  TempFolder dir{L"zepho-mailbox"};
  MailboxStoreWin32 store;
  void TearDown() override { SetMailboxPath(nullptr); }
  void MakeFolder(const std::wstring& rel) { CreateDirectoryW((dir.path() + rel).c_str(), nullptr); }
};

TEST_F(MailboxStoreTest, RegistryValueKinds) {
  SetMailboxPath(nullptr);
  EXPECT_EQ(store.ReadMailboxPath().kind, MailboxStore::MailboxPath::Kind::Absent);
  const std::wstring path = dir.path() + L"Jos\u00E9\\\u53D7\u4FE1";  // no code page holds both
  SetMailboxPath(&path);
  auto read = store.ReadMailboxPath();
  EXPECT_EQ(read.kind, MailboxStore::MailboxPath::Kind::Text);
  EXPECT_EQ(read.text, path);
  const std::wstring unexpanded = L"%APPDATA%\\Corvel";
  SetMailboxPath(&unexpanded, REG_EXPAND_SZ);
  EXPECT_EQ(store.ReadMailboxPath().text, L"%APPDATA%\\Corvel");  // taken as stored
  SetMailboxPath(&path, REG_DWORD);
  EXPECT_EQ(store.ReadMailboxPath().kind, MailboxStore::MailboxPath::Kind::NotText);
}

// The mailbox in a folder of a name no code page holds in full: the accounts
// and the received ids are still found, and the chosen folder's stored form
// finds its folder again.
TEST_F(MailboxStoreTest, AccountsFromRealFoldersSkipHiddenAndFiles) {
  const std::wstring corvel = L"Jos\u00E9 \u53D7\u4FE1";
  MakeFolder(corvel);
  MakeFolder(corvel + L"\\Mailbox");
  MakeFolder(corvel + L"\\Mailbox\\Account1");
  MakeFolder(corvel + L"\\Mailbox\\Account3");
  const std::wstring base = dir.path() + corvel + L"\\Mailbox\\";
  SetFileAttributesW((base + L"Account3").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  TempFolder::WriteAll(base + L"Account9", "plain file");
  TempFolder::WriteAll(base + L"Account1\\Account.ini",
                       "[Property]\r\nTitle=\x8E\x64\x8E\x96\r\nNotDelete=0x1\r\nOldPopper=0\r\n");
  TempFolder::WriteAll(base + L"Account1\\Uidl", "id-1\r\n\r\nid-3\n");
  const std::wstring path = dir.path() + corvel;
  SetMailboxPath(&path);

  AccountTable table;
  Settings s;
  EnumerateAccounts(store, table, s);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].title, "\x8E\x64\x8E\x96");
  EXPECT_EQ(table[0].folder, base + L"Account1");
  // "é" is not in code page 932: stored as "?", never as "e".
  EXPECT_EQ(s.AccountPath, winlib::Narrow932(dir.path()) + "Jos? \x8E\xF3\x90\x4D\\Mailbox\\Account1");

  std::optional<ReceivedIdList> list;
  EXPECT_EQ(LoadReceivedIdList(store, s, list), 1);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(list->Lines(), (std::vector<std::string>{"id-1", "", "id-3"}));
}

TEST(WinlibText, StoredFormAndAnsiConversions) {
  EXPECT_EQ(winlib::Stored932(L"C:\\\u8868\\Jos\u00E9\u00A9"), "C:\\\x95\x5C\\Jos??");
  EXPECT_EQ(winlib::Wide932("C:\\\x95\x5C\\"), L"C:\\\u8868\\");
  // Every byte of the ANSI code page comes back from the round trip through UTF-16
  // under a Western locale, as the A functions hand it on.
  if (GetACP() == 1252) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(winlib::NarrowAnsi(winlib::WideAnsi(all)), all);
  }
}

}  // namespace
}  // namespace zepho
