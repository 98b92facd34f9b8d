// The log file on disk: the same bytes a text-mode C library stream writes, and
// every line readable by another program while the file is open.
#include "pop3/log_file_win32.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "win32/temp_folder.h"

namespace zepho {
namespace {

using testing::TempFolder;

// What a C library stream opened for appending in text mode makes of `text`.
std::string ThroughTextStream(const std::wstring& path, const std::string& text) {
  FILE* f = _wfopen(path.c_str(), L"a");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return TempFolder::ReadAll(path);
}

TEST(LogFileWin32, SameBytesAsATextModeStream) {
  TempFolder dir(L"zepho-log-bytes");
  // Lines as the dialogue logs them, with bare LFs, CRs and Shift-JIS bytes.
  const std::string lines[] = {"USER u\r\n", "+OK\r\nFrom: \x95\x5C\r\n\r\n.\r\n", "a\nb\rc",
                               "", "\n\n", "TIME OUT\r\n"};
  const std::wstring expected_path = dir.path() + L"expected.log";
  const std::wstring path = dir.path() + L"ZEPHO.LOG";
  TempFolder::WriteAll(path, "earlier\r\n");
  TempFolder::WriteAll(expected_path, "earlier\r\n");
  std::string expected;
  LogFile log;
  for (const std::string& line : lines) {
    expected = ThroughTextStream(expected_path, line);
    if (!log.IsOpen()) {
      ASSERT_TRUE(log.Open(path));
    }
    log.Append(line);
    // Complete after every line, read by another opener while still open.
    EXPECT_EQ(TempFolder::ReadAll(path), expected) << line;
  }
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(TempFolder::ReadAll(path), expected);
}

TEST(LogFileWin32, AppendsAtTheEndEvenAfterAnotherWriter) {
  TempFolder dir(L"zepho-log-append");
  const std::wstring path = dir.path() + L"ZEPHO.LOG";
  LogFile log;
  ASSERT_TRUE(log.Open(path));  // created when missing
  log.Append("one\r\n");
  // Another program appends while the log is open; it may also delete the file.
  ThroughTextStream(path, "other\r\n");
  log.Append("two\r\n");
  EXPECT_EQ(TempFolder::ReadAll(path), "one\r\r\nother\r\r\ntwo\r\r\n");
  log.Close();
  log.Close();  // harmless
}

TEST(LogFileWin32, UnopenableFileLosesTheTextOnly) {
  TempFolder dir(L"zepho-log-missing");
  LogFile log;
  EXPECT_FALSE(log.Open(dir.path() + L"no-such-folder\\ZEPHO.LOG"));
  log.Append("lost\r\n");
  EXPECT_FALSE(log.IsOpen());
}

}  // namespace
}  // namespace zepho
