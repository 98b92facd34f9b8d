// ZEPHO.LOG, the transcript of the POP3 dialogue. The file is opened at the
// first line of a check and kept open until the check ends; each line goes out
// with one write, so the file is complete after every line for any program
// that reads it meanwhile.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zepho {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens the file at `path` for appending, creating it when missing; false
  // when it cannot be opened (the caller tries again at its next line).
  bool Open(const std::wstring& path);
  // Appends `text` as a text-mode stream would (every LF written as CR LF).
  void Append(std::string_view text);
  // The check is over: the file is let go.
  void Close();
  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::string line_;  // the text-mode spelling of the line being written
};

}  // namespace zepho
