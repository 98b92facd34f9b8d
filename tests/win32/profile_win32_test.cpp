// The settings rules on real files through the platform's profile functions.
#include "settings/profile_win32.h"

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "win32/temp_folder.h"

namespace zepho {
namespace {

using testing::TempFolder;

TEST(ProfileWin32, FirstLoadCreatesTheFileWithRecvSleepOnly) {
  TempFolder dir("zepho-profile-new");
  const std::string ini = dir.path() + "ZEPHO.ini";
  ProfileWin32 profile(ini);
  Settings s;
  LoadSettings(profile, s);
  EXPECT_EQ(s.PopPort, 110);
  EXPECT_EQ(s.PopTime, 3);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[OTHER]\r\nRecvSleep=0\r\n");
}

TEST(ProfileWin32, QuotedValuesKeepTheirBlanksAndBytes) {
  TempFolder dir("zepho-profile-quotes");
  const std::string ini = dir.path() + "ZEPHO.ini";
  ProfileWin32 profile(ini);
  Settings s;
  s.PopAddress = "  mail.example.jp  ";
  s.AccountTitle = "\x8E\x64\x8E\x96 \x95\x5C";  // 仕事 表: a trail byte 0x5C
  s.Passwd = "abc";
  SaveSettings(profile, s);
  const std::string text = TempFolder::ReadAll(ini);
  EXPECT_NE(text.find("PopAddress=\"  mail.example.jp  \"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Passwd=HOJMLUNTP[R[\r\n"), std::string::npos) << text;

  Settings back;
  LoadSettings(profile, back);
  EXPECT_EQ(back.PopAddress, s.PopAddress);
  EXPECT_EQ(back.AccountTitle, s.AccountTitle);
  EXPECT_EQ(back.Passwd, "abc");
  // Hand-written without quotes, the blanks go.
  TempFolder::WriteAll(ini, "[NETWORK]\r\nPopAddress=  bare  \r\nPopPort=0x6E\r\n");
  LoadSettings(profile, back);
  EXPECT_EQ(back.PopAddress, "bare");
  EXPECT_EQ(back.PopPort, 110);
}

// Read-only, and held open without sharing as another program would: running
// as root, Wine lets the owner write a read-only file, but never a locked one.
TEST(ProfileWin32, UnwritableFileGivesTheErrorAndLosesNothing) {
  TempFolder dir("zepho-profile-ro");
  const std::string ini = dir.path() + "ZEPHO.ini";
  const std::string before = "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n[OTHER]\r\nRecvSleep=0\r\n";
  TempFolder::WriteAll(ini, before);
  SetFileAttributesW(winlib::Wide932(ini).c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE lock = CreateFileW(winlib::Wide932(ini).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  ProfileWin32 profile(ini);
  Settings s;
  s.PopAddress = "new.example.jp";
  try {
    SaveSettings(profile, s);
    FAIL() << "the write into a read-only file was reported as done";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(e.path(), ini);
  }
  CloseHandle(lock);
  EXPECT_EQ(TempFolder::ReadAll(ini), before);
  Settings loaded;
  LoadSettings(profile, loaded);
  EXPECT_EQ(loaded.PopAddress, "old.example.jp");
}

TEST(ProfileWin32, CheckAddressesRoundTripThroughTheFile) {
  TempFolder dir("zepho-profile-check");
  const std::string ini = dir.path() + "ZEPHO.ini";
  ProfileWin32 profile(ini);
  WriteCheckAddresses(profile, {{0, "From:", "boss@example.jp"}, {0, "To:", " list "}});
  const auto read = ReadCheckAddresses(profile);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].header, "To:");
  EXPECT_EQ(read[1].address, " list ");
  WriteCheckAddresses(profile, {{0, "Cc:", "x"}});
  const std::string text = TempFolder::ReadAll(ini);
  EXPECT_EQ(text, "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"Cc:\"\r\nCheckString1+A=\"x\"\r\n");
}

}  // namespace
}  // namespace zepho
