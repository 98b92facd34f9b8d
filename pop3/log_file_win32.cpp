#include "pop3/log_file_win32.h"

namespace zepho {

std::optional<std::uint64_t> LogFileWin32::Open() {
  Close();
  // Append access only: every write lands at the end of the file as it is then,
  // also when another program has written to it meanwhile. Others may read,
  // write and delete it while it is open, as with a C library stream.
  file_ = CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file_, &size) || size.QuadPart < 0) return 0;
  return static_cast<std::uint64_t>(size.QuadPart);
}

void LogFileWin32::Write(std::string_view bytes) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void LogFileWin32::Close() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

bool LogFileWin32::TurnOver() {
  return MoveFileExW(path_.c_str(), (path_ + L".1").c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace zepho
