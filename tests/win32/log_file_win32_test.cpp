// The log file on disk: the same bytes a text-mode C library stream writes,
// every line readable by another program while the file is open, and the
// turn-over to ZEPHO.LOG.1 past the bound.
#include "pop3/log_file_win32.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "pop3/bounded_log.h"
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
  LogFileWin32 file;
  file.SetPath(path);
  BoundedLog log(file);
  for (const std::string& line : lines) {
    expected = ThroughTextStream(expected_path, line);
    log.Append(line);
    EXPECT_TRUE(file.IsOpen());
    // Complete after every line, read by another opener while still open.
    EXPECT_EQ(TempFolder::ReadAll(path), expected) << line;
  }
  log.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(TempFolder::ReadAll(path), expected);
}

TEST(LogFileWin32, AppendsAtTheEndEvenAfterAnotherWriter) {
  TempFolder dir(L"zepho-log-append");
  const std::wstring path = dir.path() + L"ZEPHO.LOG";
  LogFileWin32 file;
  file.SetPath(path);
  ASSERT_EQ(file.Open(), std::optional<std::uint64_t>(0));  // created when missing
  file.Write("one\r\n");
  // Another program appends while the log is open; it may also delete the file.
  ThroughTextStream(path, "other\r\n");
  file.Write("two\r\n");
  EXPECT_EQ(TempFolder::ReadAll(path), "one\r\nother\r\r\ntwo\r\n");
  file.Close();
  file.Close();  // harmless
  EXPECT_EQ(file.Open(), std::optional<std::uint64_t>(18)) << "the size as it is now";
}

TEST(LogFileWin32, UnopenableFileLosesTheTextOnly) {
  TempFolder dir(L"zepho-log-missing");
  LogFileWin32 file;
  file.SetPath(dir.path() + L"no-such-folder\\ZEPHO.LOG");
  BoundedLog log(file);
  log.Append("lost\r\n");
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(file.IsOpen());
}

// A log that holds the bound at a check's start becomes ZEPHO.LOG.1 with its
// bytes, in place of the older one; the check's lines start a new ZEPHO.LOG.
// (Compared without printing: the files are a megabyte long.)
TEST(LogFileWin32, TurnsOverIntoTheOlderLog) {
  TempFolder dir(L"zepho-log-turn");
  const std::wstring path = dir.path() + L"ZEPHO.LOG";
  const std::string full(kLogTurnOverBytes, 'x');
  struct Case { std::string before; bool turns; };
  for (const Case& c : {Case{full.substr(1), false}, Case{full, true}, Case{full + "yz", true}}) {
    SCOPED_TRACE(c.before.size());
    TempFolder::WriteAll(path, c.before);
    TempFolder::WriteAll(path + L".1", "the older log\r\n");
    LogFileWin32 file;
    file.SetPath(path);
    BoundedLog log(file);
    log.Append("+OK ready\r\n");
    log.Close();
    const std::string line = "+OK ready\r\r\n";
    const std::string now = TempFolder::ReadAll(path), older = TempFolder::ReadAll(path + L".1");
    EXPECT_TRUE(now == (c.turns ? line : c.before + line)) << now.size();
    EXPECT_TRUE(older == (c.turns ? c.before : "the older log\r\n")) << older.size();
  }
}

// When ZEPHO.LOG.1 cannot be replaced (here a folder has that name) the log
// goes on growing for the check and nothing is lost.
TEST(LogFileWin32, AnOlderLogThatCannotBeReplacedLosesNothing) {
  TempFolder dir(L"zepho-log-blocked");
  const std::wstring path = dir.path() + L"ZEPHO.LOG";
  ASSERT_TRUE(CreateDirectoryW((path + L".1").c_str(), nullptr));
  const std::string full(kLogTurnOverBytes, 'x');
  TempFolder::WriteAll(path, full);
  LogFileWin32 file;
  file.SetPath(path);
  BoundedLog log(file);
  log.Append("QUIT\r\n");
  log.Close();
  EXPECT_TRUE(TempFolder::ReadAll(path) == full + "QUIT\r\r\n");
}

}  // namespace
}  // namespace zepho
