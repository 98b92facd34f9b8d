// The settings rules on real files through the platform's profile functions.
#include "settings/profile_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/settings_file.h"
#include "win32/temp_folder.h"
#include "winlib/text.h"

namespace zepho {
namespace {

using testing::TempFolder;

TEST(ProfileWin32, FirstLoadCreatesTheFileWithRecvSleepOnly) {
  TempFolder dir(L"zepho-profile-new");
  const std::wstring ini = dir.path() + L"ZEPHO.ini";
  ProfileWin32 profile(ini);
  Settings s;
  LoadSettings(profile, s);
  EXPECT_EQ(s.PopPort, 110);
  EXPECT_EQ(s.PopTime, 3);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[OTHER]\r\nRecvSleep=0\r\n");
}

TEST(ProfileWin32, QuotedValuesKeepTheirBlanksAndBytes) {
  TempFolder dir(L"zepho-profile-quotes");
  const std::wstring ini = dir.path() + L"ZEPHO.ini";
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
  TempFolder dir(L"zepho-profile-ro");
  const std::wstring ini = dir.path() + L"ZEPHO.ini";
  const std::string before = "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n[OTHER]\r\nRecvSleep=0\r\n";
  TempFolder::WriteAll(ini, before);
  SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE lock = CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
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
  TempFolder dir(L"zepho-profile-check");
  const std::wstring ini = dir.path() + L"ZEPHO.ini";
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

// Wine takes the ANSI code page from the locale of each process: the tests run
// once under a Japanese locale and once under a Western one, and this says
// which one they ran under.
TEST(ProfileWin32, AnsiCodePageIsTheLocales) {
  const char* lang = std::getenv("LANG");
  ASSERT_NE(lang, nullptr);
  const std::string name = lang;
  const UINT expected = name.rfind("ja_JP", 0) == 0 ? 932 : name.rfind("en_US", 0) == 0 ? 1252 : 0;
  ASSERT_NE(expected, 0u) << "no expectation for LANG=" << name;
  EXPECT_EQ(GetACP(), expected) << "LANG=" << name;
}

// Values go through the W functions converted with the ANSI code page, as the A
// functions do: a file written by either reads back through the other as the
// same bytes, and both write the same file.
TEST(ProfileWin32, ValuesAreTheBytesOfTheAnsiFunctionsBothWays) {
  const std::string values[] = {
      "plain ascii",
      "\x8E\x64\x8E\x96 \x95\x5C\x8E\xA6",  // 仕事 表示: a trail byte 0x5C
      "\x83\x5C\x83\x74\x83\x67",              // ソフト
      "\xB1\xB2\xB3",                          // half-width katakana
      "  blanks kept  ",
      "caf\xE9 na\xEFve \xA9",                  // bytes of code page 1252 text
      "x\x80\x9F\xA0\xFD\xFE\xFF",
  };
  TempFolder dir(L"zepho-profile-ansi");
  const std::wstring by_a = dir.path() + L"byA.ini";
  const std::wstring by_w = dir.path() + L"byW.ini";
  const std::string by_a_ansi = winlib::NarrowAnsi(by_a);  // the temporary folder is ASCII
  ProfileWin32 profile(by_w);
  for (size_t i = 0; i < std::size(values); ++i) {
    const std::string key = "Key" + std::to_string(i);
    const std::string quoted = "\"" + values[i] + "\"";
    ASSERT_NE(WritePrivateProfileStringA("OTHER", key.c_str(), quoted.c_str(), by_a_ansi.c_str()), 0);
    ASSERT_TRUE(profile.WriteString("OTHER", key, quoted));
  }
  EXPECT_EQ(TempFolder::ReadAll(by_w), TempFolder::ReadAll(by_a));

  ProfileWin32 reads_a(by_a);
  for (size_t i = 0; i < std::size(values); ++i) {
    SCOPED_TRACE(i);
    const std::string key = "Key" + std::to_string(i);
    char buffer[1024];
    const DWORD n = GetPrivateProfileStringA("OTHER", key.c_str(), "", buffer, sizeof buffer,
                                             by_a_ansi.c_str());
    const std::string through_a(buffer, n);
    EXPECT_EQ(reads_a.ReadString("OTHER", key, ""), through_a);
    const DWORD m = GetPrivateProfileStringA("OTHER", key.c_str(), "", buffer, sizeof buffer,
                                             winlib::NarrowAnsi(by_w).c_str());
    EXPECT_EQ(std::string(buffer, m), through_a);
    // Text of the code page comes back as it went in; elsewhere the A functions
    // set the rule and the two agree.
    if (i < 5 || GetACP() == 1252) {
      EXPECT_EQ(through_a, values[i]);
    }
  }
}

// The settings beside a program in a folder whose name no code page holds in full.
TEST(ProfileWin32, SettingsFileInAFolderOfAnyName) {
  TempFolder dir(L"zepho-profile-name");
  const std::wstring folder = dir.path() + L"Jos\u00E9 \u8868\u793A\u30C6\u30B9\u30C8\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring ini = folder + L"ZEPHO.ini";
  ProfileWin32 profile(ini);
  Settings s;
  LoadSettings(profile, s);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[OTHER]\r\nRecvSleep=0\r\n");
  s.PopAddress = "mail.example.jp";
  s.AccountTitle = "\x8E\x64\x8E\x96";
  SaveSettings(profile, s);
  Settings back;
  LoadSettings(profile, back);
  EXPECT_EQ(back, s);
}

}  // namespace
}  // namespace zepho
