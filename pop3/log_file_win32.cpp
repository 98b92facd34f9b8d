#include "pop3/log_file_win32.h"

namespace zepho {

bool LogFile::Open(const std::wstring& path) {
  Close();
  // Append access only: every write lands at the end of the file as it is then,
  // also when another program has written to it meanwhile. Others may read,
  // write and delete it while it is open, as with a C library stream.
  file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

void LogFile::Append(std::string_view text) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  line_.clear();
  for (const char c : text) {
    if (c == '\n') line_ += '\r';
    line_ += c;
  }
  DWORD written = 0;
  WriteFile(file_, line_.data(), static_cast<DWORD>(line_.size()), &written, nullptr);
}

void LogFile::Close() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  std::string().swap(line_);  // a long reply's copy is not kept
}

}  // namespace zepho
