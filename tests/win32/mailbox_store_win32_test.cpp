// The mail client's registry value and account folders through the real API.
#include "companion/mailbox_store_win32.h"

#include <gtest/gtest.h>

#include "win32/temp_folder.h"

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
  TempFolder dir{"zepho-mailbox"};
  MailboxStoreWin32 store;
  void TearDown() override { SetMailboxPath(nullptr); }
  void MakeFolder(const std::string& rel) {
    CreateDirectoryW(winlib::Wide932(dir.path() + rel).c_str(), nullptr);
  }
};

TEST_F(MailboxStoreTest, RegistryValueKinds) {
  SetMailboxPath(nullptr);
  EXPECT_EQ(store.ReadMailboxPath().kind, MailboxStore::MailboxPath::Kind::Absent);
  const std::wstring path = winlib::Wide932(dir.path() + "Corvel");
  SetMailboxPath(&path);
  auto read = store.ReadMailboxPath();
  EXPECT_EQ(read.kind, MailboxStore::MailboxPath::Kind::Text);
  EXPECT_EQ(read.text, dir.path() + "Corvel");
  const std::wstring unexpanded = L"%APPDATA%\\Corvel";
  SetMailboxPath(&unexpanded, REG_EXPAND_SZ);
  EXPECT_EQ(store.ReadMailboxPath().text, "%APPDATA%\\Corvel");  // taken as stored
  SetMailboxPath(&path, REG_DWORD);
  EXPECT_EQ(store.ReadMailboxPath().kind, MailboxStore::MailboxPath::Kind::NotText);
}

TEST_F(MailboxStoreTest, AccountsFromRealFoldersSkipHiddenAndFiles) {
  MakeFolder("Corvel");
  MakeFolder("Corvel\\Mailbox");
  MakeFolder("Corvel\\Mailbox\\Account1");
  MakeFolder("Corvel\\Mailbox\\Account3");
  SetFileAttributesW(winlib::Wide932(dir.path() + "Corvel\\Mailbox\\Account3").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  TempFolder::WriteAll(dir.path() + "Corvel\\Mailbox\\Account9", "plain file");
  TempFolder::WriteAll(dir.path() + "Corvel\\Mailbox\\Account1\\Account.ini",
                       "[Property]\r\nTitle=\x8E\x64\x8E\x96\r\nNotDelete=0x1\r\nOldPopper=0\r\n");
  TempFolder::WriteAll(dir.path() + "Corvel\\Mailbox\\Account1\\Uidl", "id-1\r\n\r\nid-3\n");
  const std::wstring path = winlib::Wide932(dir.path() + "Corvel");
  SetMailboxPath(&path);

  AccountTable table;
  Settings s;
  EnumerateAccounts(store, table, s);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].title, "\x8E\x64\x8E\x96");
  EXPECT_EQ(s.AccountPath, dir.path() + "Corvel\\Mailbox\\Account1");

  std::optional<ReceivedIdList> list;
  EXPECT_EQ(LoadReceivedIdList(store, s, list), 1);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(list->Lines(), (std::vector<std::string>{"id-1", "", "id-3"}));
}

}  // namespace
}  // namespace zepho
