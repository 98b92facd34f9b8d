// The settings document's file on disk: read whole, replaced in one step, and
// left as it was, with nothing beside it, when it cannot be written.
#include "settings/ini_file_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "win32/temp_folder.h"

namespace zepho {
namespace {

using testing::TempFolder;
using Result = IniFile::ReadResult;

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((folder + L"*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = d.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(h, &d));
  FindClose(h);
  return names;
}

// Held open without sharing, as another program may hold it.
class Lock {
 public:
  explicit Lock(const std::wstring& path, DWORD share = 0)
      : h_(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Lock() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool held() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

TEST(IniFileWin32, ReadsTheWholeFileOrSaysWhyNot) {
  TempFolder dir(L"zepho-inifile-read");
  const std::wstring path = dir.path() + L"ZEPHO.ini";
  IniFileWin32 file(path);
  std::string bytes = "stale";
  EXPECT_EQ(file.Read(bytes, 100), Result::kMissing);
  EXPECT_EQ(bytes, "");

  const std::string content = std::string("[S]\r\nk=\x82\0\xFF\r\n", 12);
  TempFolder::WriteAll(path, content);
  EXPECT_EQ(file.Read(bytes, 100), Result::kRead);
  EXPECT_EQ(bytes, content);
  EXPECT_EQ(file.Read(bytes, content.size()), Result::kRead);
  EXPECT_EQ(file.Read(bytes, content.size() - 1), Result::kFailed) << "past the bound";
  {
    Lock lock(path);
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(file.Read(bytes, 100), Result::kFailed);
  }
  EXPECT_EQ(IniFileWin32(dir.path() + L"no folder\\ZEPHO.ini").Read(bytes, 100), Result::kFailed);
  CreateDirectoryW((dir.path() + L"folder.ini").c_str(), nullptr);
  EXPECT_EQ(IniFileWin32(dir.path() + L"folder.ini").Read(bytes, 100), Result::kFailed);
}

TEST(IniFileWin32, ReplacesTheFileWithNothingLeftBeside) {
  TempFolder dir(L"zepho-inifile-replace");
  // In a folder whose name no code page holds in full.
  const std::wstring folder = dir.path() + L"Jos\u00E9 \u8868\u793A\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring path = folder + L"ZEPHO.ini";
  IniFileWin32 file(path);
  EXPECT_TRUE(file.Replace("[OTHER]\r\nRecvSleep=0\r\n"));
  EXPECT_EQ(TempFolder::ReadAll(path), "[OTHER]\r\nRecvSleep=0\r\n");
  const std::string big(300000, 'x');
  EXPECT_TRUE(file.Replace(big));
  EXPECT_EQ(TempFolder::ReadAll(path), big);
  EXPECT_TRUE(file.Replace(""));
  EXPECT_EQ(TempFolder::ReadAll(path), "");
  EXPECT_EQ(FilesIn(folder), std::vector<std::wstring>{L"ZEPHO.ini"});
}

// A file that cannot be replaced keeps its bytes, and no temporary file stays.
TEST(IniFileWin32, AFileThatCannotBeWrittenKeepsItsBytes) {
  TempFolder dir(L"zepho-inifile-fail");
  const std::wstring path = dir.path() + L"ZEPHO.ini";
  const std::string old_bytes = "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n";
  struct Case {
    const char* name;
    DWORD attributes;
    bool lock;
    DWORD share;
  };
  const Case cases[] = {
      {"read-only", FILE_ATTRIBUTE_READONLY, false, 0},
      {"held open by another program", FILE_ATTRIBUTE_NORMAL, true, 0},
      {"held open for reading and writing, not for deleting", FILE_ATTRIBUTE_NORMAL, true,
       FILE_SHARE_READ | FILE_SHARE_WRITE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    TempFolder::WriteAll(path, old_bytes);
    SetFileAttributesW(path.c_str(), c.attributes);
    {
      Lock lock(c.lock ? path : std::wstring(), c.share);
      EXPECT_FALSE(IniFileWin32(path).Replace("[NETWORK]\r\nPopAddress=\"new\"\r\n"));
    }
    EXPECT_EQ(TempFolder::ReadAll(path), old_bytes);
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::wstring>{L"ZEPHO.ini"});
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  // A folder that does not exist: nothing is made.
  EXPECT_FALSE(IniFileWin32(dir.path() + L"gone\\ZEPHO.ini").Replace("x"));
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::wstring>{L"ZEPHO.ini"});
}

// ---------------------------------------------------------------- the shell's profile

TEST(IniProfileWin32, AReadOnlySettingsFileGivesTheErrorAndKeepsItsBytes) {
  TempFolder dir(L"zepho-iniprofile-ro");
  const std::wstring path = dir.path() + L"ZEPHO.ini";
  const std::string before =
      "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n[OTHER]\r\nRecvSleep=0\r\n"
      "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"From:\"\r\nCheckString1+A=\"a\"\r\n";
  TempFolder::WriteAll(path, before);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  IniProfileWin32 profile(path);
  Settings s;
  s.PopAddress = "new.example.jp";
  try {
    SaveSettings(profile, s);
    FAIL() << "the write into a read-only file was reported as done";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(e.path(), path);
  }
  EXPECT_THROW(WriteCheckAddresses(profile, {}), SettingsWriteError);
  EXPECT_EQ(TempFolder::ReadAll(path), before);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::wstring>{L"ZEPHO.ini"});
  Settings loaded;
  LoadSettings(profile, loaded);  // nothing to write: no error
  EXPECT_EQ(loaded.PopAddress, "old.example.jp");
  EXPECT_EQ(ReadCheckAddresses(profile).size(), 1u);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(IniProfileWin32, ALockedSettingsFileReadsAsNoneAndIsNotWritten) {
  TempFolder dir(L"zepho-iniprofile-locked");
  const std::wstring path = dir.path() + L"ZEPHO.ini";
  const std::string before = "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n";
  TempFolder::WriteAll(path, before);
  IniProfileWin32 profile(path);
  {
    Lock lock(path);
    ASSERT_TRUE(lock.held());
    Settings s;
    EXPECT_THROW(LoadSettings(profile, s), SettingsWriteError);  // RecvSleep=0 cannot go in
    EXPECT_EQ(s.PopAddress, "");
    EXPECT_THROW(SaveSettings(profile, s), SettingsWriteError);
  }
  EXPECT_EQ(TempFolder::ReadAll(path), before);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::wstring>{L"ZEPHO.ini"});
}

// The profile the shell keeps is made once with an empty path and then replaced.
TEST(IniProfileWin32, TakesThePlaceOfTheOldProfile) {
  TempFolder dir(L"zepho-iniprofile-assign");
  IniProfileWin32 profile{L""};
  profile = IniProfileWin32(dir.path() + L"ZEPHO.ini");
  Settings s;
  LoadSettings(profile, s);
  EXPECT_EQ(TempFolder::ReadAll(dir.path() + L"ZEPHO.ini"), "[OTHER]\r\nRecvSleep=0\r\n");
  EXPECT_EQ(profile.Path(), dir.path() + L"ZEPHO.ini");
}

}  // namespace
}  // namespace zepho
