// ZEPHO.LOG on disk, under the bound of BoundedLog. The file is opened at the
// first line of a check and kept open until the check ends; each line goes out
// with one write, so the file is complete after every line for any program
// that reads it meanwhile. The older log is the same path with ".1" added.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pop3/bounded_log.h"

namespace zepho {

class LogFileWin32 : public LogStore {
 public:
  LogFileWin32() = default;
  ~LogFileWin32() override { Close(); }
  LogFileWin32(const LogFileWin32&) = delete;
  LogFileWin32& operator=(const LogFileWin32&) = delete;

  // The log's full path; set before the first Open.
  void SetPath(std::wstring path) { path_ = std::move(path); }

  std::optional<std::uint64_t> Open() override;
  void Write(std::string_view bytes) override;
  void Close() override;
  bool TurnOver() override;
  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace zepho
